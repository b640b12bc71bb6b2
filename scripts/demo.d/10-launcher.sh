#!/bin/bash
# The launcher end to end under a virtual X server: it starts the stand-in
# editor (a test double of ours, copied as corvella.exe), which opens two
# image windows and a "Save Image" dialog; once the launcher has adopted
# the image windows into its panel and centred the dialog, the screen is
# saved as demo/launcher.png.  Run from the project root after `make build`.
# Under wine a window of one process that has become the child of another
# process's window is not drawn, so the adopted image windows are inside
# the grey panel but do not show in the picture; the frame, its toolbar,
# the floating toolbox and tool options and the centred dialog do.
# DEMO_WINDOWS_TREE overrides the Windows build tree (default build/windows).
set -eu
root=$(pwd)
tree=$(cd "${DEMO_WINDOWS_TREE:-build/windows}" && pwd)
launcher=$tree/launcher/corvella-launcher.exe
standin=$tree/launcher/tests/standin.exe
for f in "$launcher" "$standin"; do
  [ -f "$f" ] || { echo "10-launcher: $f is missing; run make build" >&2; exit 1; }
done
mkdir -p "$root/demo"
out=$root/demo/launcher.png

run=$tree/demo-run
rm -rf "$run"
mkdir -p "$run"
cp "$launcher" "$run/corvella-launcher.exe"
cp "$standin" "$run/corvella.exe"
[ -f "$tree/launcher/corvella.chm" ] && cp "$tree/launcher/corvella.chm" "$run/"
cat > "$run/standin.ini" <<'INI'
splash_ms=400
options_delay_ms=300
open=600 330 260 560 380 [Untitled]-1.0 (RGB color, 1 layer) 640x400 - GIMP
open=900 560 420 600 400 IMG_0412.JPG-2.0 (RGB color, 1 layer) 3008x2000 - GIMP
open=2200 40 60 420 300 Save Image
ready_adopted=2
ready_delay_ms=2500
INI

export WINEPREFIX=$tree/demo-prefix WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export DEMO_RUN=$run DEMO_OUT=$out

cleanup() { wineserver -k >/dev/null 2>&1 || true; }
trap cleanup EXIT

xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" bash -c '
  set -eu
  if [ ! -f "$WINEPREFIX/.demo-ready" ]; then
    rm -rf "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 </dev/null
    wineserver -w
    touch "$WINEPREFIX/.demo-ready"
  fi
  # No window manager runs here: wine then manages windows itself, which
  # also spares a 2 s wait on every adopted window.
  for p in corvella-launcher.exe corvella.exe; do
    wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$p\\X11 Driver" \
      /v Managed /d N /f >/dev/null 2>&1
  done
  cd "$DEMO_RUN"
  wine corvella-launcher.exe </dev/null >/dev/null 2>&1 &
  for i in $(seq 1 600); do
    [ -f "$DEMO_RUN/standin.ready" ] && break
    sleep 0.1
  done
  if [ ! -f "$DEMO_RUN/standin.ready" ]; then
    echo "10-launcher: the editor windows were not adopted within 60 s" >&2
    import -window root "$DEMO_OUT" || true
    exit 1
  fi
  import -window root "$DEMO_OUT"
  wineserver -k
'
echo "10-launcher: wrote $out"
