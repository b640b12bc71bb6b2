#!/bin/bash
# Checks a built launcher without running it, so every host checks the
# shipped program whatever code it can execute:
#   check-pe.sh OBJDUMP PROGRAM PE32|PE32+
# - the image format (PE32 for the shipped i686 program, PE32+ for the
#   64-bit twin) and the Windows GUI subsystem;
# - that it imports only the system's own DLLs: the runtime is linked in
#   statically, and the help control is loaded at run time, never imported.
set -u
if [ $# -ne 3 ]; then
  echo "usage: check-pe.sh OBJDUMP PROGRAM PE32|PE32+" >&2
  exit 2
fi
objdump=$1 program=$2 want=$3
headers=$("$objdump" -p "$program") || { echo "check-pe: cannot read $program" >&2; exit 1; }

status=0
magic=$(sed -n 's/^Magic[[:space:]]*[0-9a-f]*[[:space:]]*(\(.*\))$/\1/p' <<<"$headers")
if [ "$magic" != "$want" ]; then
  echo "check-pe: $program is '${magic:-not a PE image}', expected $want" >&2
  status=1
fi
if ! grep -Eq '^Subsystem[[:space:]]+0*2[[:space:]]+\(Windows GUI\)' <<<"$headers"; then
  echo "check-pe: $program is not a Windows GUI program" >&2
  status=1
fi

allowed=" advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll"
allowed+=" ole32.dll oleaut32.dll olepro32.dll shell32.dll user32.dll winmm.dll "
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z')
if [ -z "$imports" ]; then
  echo "check-pe: $program imports nothing, which no Win32 program does" >&2
  status=1
fi
for dll in $imports; do
  case "$allowed" in
    *" $dll "*) ;;
    *) echo "check-pe: $program imports $dll, which is not a system DLL" >&2; status=1 ;;
  esac
done
[ $status -eq 0 ] && echo "check-pe: $program: $want, Windows GUI, imports $(echo $imports)"
exit $status
