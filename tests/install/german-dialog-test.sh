#!/bin/bash
# The refocus plug-in, installed into a scratch GIMP profile, speaks German:
# the full gimp-2.10 on a private Xvfb server, started with LANGUAGE=de in
# the de_DE.UTF-8 locale, opens the plug-in's dialog on the real
# photograph; its window is titled "Iteratives Nachschärfen" (the German
# catalogue installed beside the plug-in, not the English "Iterative
# Refocus").  The screen is kept as ARTIFACTS/ostrel-dialog-de.png, then
# Escape closes the dialog and GIMP quits.
#
#   german-dialog-test.sh TREE SOURCE_DIR ARTIFACTS
set -u
tree=$(cd "$1" && pwd) src=$(cd "$2" && pwd) artifacts=$3
photo=$src/tests/data/chelsea.png
german='Iteratives Nachschärfen' english='Iterative Refocus'

for p in Xvfb xdotool import gimp-2.10; do
  command -v "$p" > /dev/null || { echo "FAIL: $p is missing (scripts/install-deps installs it)"; exit 1; }
done
if ! locale -a 2>/dev/null | grep -qix 'de_DE.utf-\?8'; then
  echo "FAIL: the de_DE.UTF-8 locale is missing (scripts/install-deps makes it)"
  exit 1
fi
mkdir -p "$artifacts"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/corvella-german-test.XXXXXX") || exit 1
. "$src/tests/gimp/xvfb.sh"
gimp_pid=''
# Ends only what this test started: GIMP (with its plug-ins, by process
# group) and the X server.
stop() {
  local pid=$1 group=$2 _
  [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null || return 0
  if [ "$group" = 1 ]; then kill -- -"$pid" 2>/dev/null; else kill "$pid" 2>/dev/null; fi
  for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.1; done
  if [ "$group" = 1 ]; then kill -9 -- -"$pid" 2>/dev/null; else kill -9 "$pid" 2>/dev/null; fi
}
cleanup() {
  stop "$gimp_pid" 1
  xvfb_stop
  rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

export HOME=$scratch/home GIMP2_DIRECTORY=$scratch/home/profile
unset XDG_CONFIG_HOME DESTDIR
mkdir -p "$HOME"
"$src/scripts/gimp-install" install-user "$tree" > "$scratch/install.log" 2>&1 ||
  { cat "$scratch/install.log"; echo "FAIL: install-user failed"; exit 1; }

xvfb_start "$scratch" || exit 1

script="(let* ((img (car (gimp-file-load RUN-NONINTERACTIVE \"$photo\" \"chelsea.png\")))
               (layer (car (gimp-image-get-active-layer img))))
          (ostrel RUN-INTERACTIVE img layer 3.0 0.0 0.0 0.0 3000.0 0 30.0 1 3 30 10))"
# In its own process group, so the cleanup reaches its plug-ins too.
LANG=de_DE.UTF-8 LANGUAGE=de NO_AT_BRIDGE=1 \
  setsid env -u LC_ALL -u LC_MESSAGES timeout -k 10 180 gimp-2.10 -i -d -f -n -b "$script" -b '(gimp-quit 0)' \
  < /dev/null > "$scratch/gimp.log" 2>&1 &
gimp_pid=$!

status=0
win=
for _ in $(seq 600); do
  win=$(xdotool search --name "^$german\$" 2>/dev/null | head -n1)
  [ -n "$win" ] && break
  # The English dialog: the catalogue was not found; no use waiting.
  xdotool search --name "^$english\$" > /dev/null 2>&1 && break
  kill -0 "$gimp_pid" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$win" ]; then
  echo "FAIL: no window titled \"$german\"; windows:"
  xdotool search --name . getwindowname %@ 2>/dev/null | sort -u
  grep -v '^\s*$' "$scratch/gimp.log"
  import -window root "$artifacts/ostrel-dialog-de.png" 2>/dev/null
  exit 1
fi
echo "dialog window $win: \"$(xdotool getwindowname "$win")\""
if xdotool search --name "^$english" > /dev/null 2>&1; then
  echo "FAIL: a window is still titled in English"; status=1
fi
sleep 1   # let GTK draw the dialog before the screenshot
import -window root "$artifacts/ostrel-dialog-de.png" || { echo "FAIL: no screenshot"; status=1; }
[ -s "$artifacts/ostrel-dialog-de.png" ] && echo "screenshot: $artifacts/ostrel-dialog-de.png"

xdotool windowfocus --sync "$win" key --window "$win" Escape 2>/dev/null
for _ in $(seq 300); do
  kill -0 "$gimp_pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$gimp_pid" 2>/dev/null; then
  echo "FAIL: GIMP did not quit within 30 s of closing the dialog"; status=1
else
  wait "$gimp_pid"; rc=$?
  gimp_pid=
  [ $rc -eq 0 ] || { echo "FAIL: GIMP exited with status $rc"; grep -v '^\s*$' "$scratch/gimp.log"; status=1; }
fi
if grep -Eq 'crashed|fatal error|Segmentation fault|CRITICAL' "$scratch/gimp.log"; then
  echo "FAIL: a plug-in crashed:"; grep -E 'crashed|fatal error|Segmentation fault|CRITICAL' "$scratch/gimp.log"
  status=1
fi
[ $status = 0 ] && echo "PASS: the installed plug-in shows its dialog in German"
exit $status
