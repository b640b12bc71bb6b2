#!/bin/bash
# Refocus before and after: a synthetic photo blurred with a disc of radius
# 3, refocused by the plug-in inside gimp-console-2.10 (radius 3, 30
# iterations, other values the defaults).  Writes demo/ostrel-sharp.png,
# demo/ostrel-blurred.png, demo/ostrel-refocused.png and
# demo/ostrel-before-after.png (blurred left, refocused right) and prints
# the PSNR of both against the sharp photo.  Runs from the project root
# with build/native built.
set -euo pipefail
tree=${TREE:-build/native}
plugin=$tree/plugins/ostrel/ostrel
synth=$tree/tools/corvella-synth-photo
out=${DEMO_DIR:-demo}
for f in "$plugin" "$synth"; do
  [ -x "$f" ] || { echo "40-ostrel: $f is not built (make native)" >&2; exit 1; }
done
gimp=${GIMP_CONSOLE:-$(command -v gimp-console-2.10 || true)}
[ -n "$gimp" ] || { echo "40-ostrel: gimp-console-2.10 not found" >&2; exit 1; }
mkdir -p "$out"

work=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-demo.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/profile/under-test"
ln -s "$(realpath "$plugin")" "$work/profile/under-test/ostrel"
cat > "$work/profile/gimprc" <<RC
(plug-in-path "\${gimp_plug_in_dir}/plug-ins:$work/profile/under-test")
RC

"$synth" 480 360 "$work/sharp.ppm"
convert "$work/sharp.ppm" -define convolve:scale='!' -morphology Convolve Disk:3 "$work/blurred.ppm"

script="(let* ((img (car (file-pnm-load RUN-NONINTERACTIVE \"$work/blurred.ppm\" \"blurred.ppm\")))
               (layer (car (gimp-image-get-active-layer img))))
          (ostrel RUN-NONINTERACTIVE img layer 3.0 0.0 0.0 0.0 100.0 0 30.0 1 3 30 10)
          (file-pnm-save RUN-NONINTERACTIVE img layer \"$work/refocused.ppm\" \"refocused.ppm\" 1))"
if ! GIMP2_DIRECTORY="$work/profile" timeout -k 10 300 "$gimp" -i -d -f -n \
       -b "$script" -b '(gimp-quit 0)' < /dev/null > "$work/gimp.log" 2>&1 \
   || [ ! -s "$work/refocused.ppm" ]; then
  cat "$work/gimp.log" >&2
  echo "40-ostrel: the GIMP run failed" >&2
  exit 1
fi

convert "$work/sharp.ppm" "$out/ostrel-sharp.png"
convert "$work/blurred.ppm" "$out/ostrel-blurred.png"
convert "$work/refocused.ppm" "$out/ostrel-refocused.png"
convert "$work/blurred.ppm" "$work/refocused.ppm" +append "$out/ostrel-before-after.png"
before=$(compare -metric PSNR "$work/sharp.ppm" "$work/blurred.ppm" null: 2>&1 || true)
after=$(compare -metric PSNR "$work/sharp.ppm" "$work/refocused.ppm" 2>&1 null: || true)
echo "ostrel: PSNR against the sharp photo: blurred $before dB, refocused $after dB"
echo "ostrel: wrote $out/ostrel-before-after.png (blurred left, refocused right)"
