#!/bin/bash
# scripts/windows-tree and the PE reading of scripts/lib/wine-env.sh, on
# stand-in wine installations: one whose 32-bit loader and server fail as on
# a kernel without IA-32 emulation, one with both, one with neither.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/lib/wine-env.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0 passes=0

# fake_wine DIR 32OK 64OK: a wine folder whose programs run or fail.
fake_wine() {
  mkdir -p "$1"
  for p in wine wineserver32; do
    if [ "$2" = 1 ]; then printf '#!/bin/sh\necho wine-8.0\n' > "$1/$p"
    else printf '#!/bin/sh\necho "%s: Exec format error" >&2\nexit 126\n' "$p" > "$1/$p"; fi
  done
  for p in wine64 wineserver64; do
    if [ "$3" = 1 ]; then printf '#!/bin/sh\necho wine-8.0\n' > "$1/$p"
    else printf '#!/bin/sh\nexit 127\n' > "$1/$p"; fi
  done
  chmod +x "$1"/*
}
fake_wine "$work/both" 1 1
fake_wine "$work/only64" 0 1
fake_wine "$work/none" 0 0

# check NAME LIB FORCED WANT_STATUS WANT_TREE WANT_LINE
check() {
  local out err status
  out=$(CORVELLA_WINE_LIB=$2 CORVELLA_WINDOWS_TREE=$3 "$root/scripts/windows-tree" 2>"$work/err")
  status=$?
  err=$(cat "$work/err")
  if [ "$status" -ne "$4" ] || [ "$out" != "$5" ] || [[ "$err" != *"$6"* ]]; then
    echo "FAIL $1: status $status, tree '$out', message '$err'"
    failures=$((failures + 1))
  else
    echo "ok   $1: $err"
    passes=$((passes + 1))
  fi
}
check "32-bit host"          "$work/both"   ""          0 windows   "Windows tests: 32-bit build"
check "64-bit-only host"     "$work/only64" ""          0 windows64 "Windows tests: 64-bit twin (this host runs no 32-bit code)"
check "no wine at all"       "$work/none"   ""          1 ""        "cannot run"
check "missing wine folder"  "$work/gone"   ""          1 ""        "cannot run"
check "twin forced"          "$work/both"   windows64   0 windows64 "64-bit twin (CORVELLA_WINDOWS_TREE=windows64)"
check "32-bit forced"        "$work/both"   windows     0 windows   "32-bit build (CORVELLA_WINDOWS_TREE=windows)"
check "32-bit forced, none"  "$work/only64" windows     1 ""        "does not run the 32-bit wine"
check "twin forced, none"    "$work/none"   windows64   1 ""        "does not run the 64-bit wine"
check "unknown tree"         "$work/both"   windows32   1 ""        "must be windows or windows64"

# pe_bits on minimal headers: "MZ", e_lfanew at 0x3c, "PE\0\0", file header,
# then the optional header's magic.
pe_file() {
  python3 - "$1" "$2" <<'PY'
import struct, sys
magic = int(sys.argv[2], 16)
head = bytearray(64)
head[0:2] = b"MZ"
head[0x3c:0x40] = struct.pack("<I", 64)
open(sys.argv[1], "wb").write(bytes(head) + b"PE\0\0" + bytes(20) + struct.pack("<H", magic) + bytes(200))
PY
}
pe_file "$work/a.exe" 10b
pe_file "$work/b.exe" 20b
pe_file "$work/c.exe" 107
printf 'MZ' > "$work/short.exe"
for case in "a.exe 32" "b.exe 64" "c.exe -" "short.exe -"; do
  set -- $case
  got=$(pe_bits "$work/$1") || got=-
  if [ "$got" = "$2" ]; then passes=$((passes + 1)); echo "ok   pe_bits $1: $got"
  else failures=$((failures + 1)); echo "FAIL pe_bits $1: got $got, want $2"; fi
done
got=$(pe_bits /bin/sh) || got=-
if [ "$got" = - ]; then passes=$((passes + 1)); echo "ok   pe_bits on an ELF program refused"
else failures=$((failures + 1)); echo "FAIL pe_bits /bin/sh: $got"; fi

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
