#!/bin/bash
# Camera-noise filter end to end: a synthetic photograph with added
# Gaussian noise is loaded into gimp-console-2.10, filtered by the plug-in
# "plug_in_vareknoise2-0.64" with its defaults and saved; the command-line
# tool filters the same file.  demo/vareknoise2-before.png and
# demo/vareknoise2-after.png show the result, demo/vareknoise2-crop.png a 3x
# enlarged detail (before | after).  Runs from the project root.
set -euo pipefail
. "$(dirname "$0")/../lib/gimp-batch.sh"
tree=${TREE:-build/native}
plugin=$tree/plugins/vareknoise2/vareknoise2
synth=$tree/tools/corvella-synth-photo
tool=$tree/tools/vareknoise2-filter
for f in "$plugin" "$synth" "$tool"; do
  [ -x "$f" ] || { echo "35-vareknoise2: $f is not built (make native)" >&2; exit 1; }
done
mkdir -p demo
work=$(mktemp -d "${TMPDIR:-/tmp}/corvella-demo-vareknoise2.XXXXXX")
trap 'rm -rf "$work"' EXIT

"$synth" 900 600 "$work/photo.ppm" 5
convert "$work/photo.ppm" -seed 11 -attenuate 0.5 +noise Gaussian "$work/noisy.ppm"

gimp_batch_profile "$work" "$plugin"
script="(let* ((image (car (gimp-file-load RUN-NONINTERACTIVE \"$work/noisy.ppm\" \"noisy.ppm\")))
               (layer (car (gimp-image-get-active-layer image))))
          (plug-in-vareknoise2-0-64 RUN-NONINTERACTIVE image layer 5 1 1 0.13 2 1.4 5 2 0 0.25)
          (file-pnm-save RUN-NONINTERACTIVE image layer \"$work/after.ppm\" \"after.ppm\" 1))"
gimp_batch_run 35-vareknoise2 "$work" "$script"
[ -s "$work/after.ppm" ] || { cat "$work/gimp.log"; echo "35-vareknoise2: no output" >&2; exit 1; }

"$tool" "$work/noisy.ppm" "$work/tool.ppm"
if cmp -s <(tail -c $((900 * 600 * 3)) "$work/after.ppm") <(tail -c $((900 * 600 * 3)) "$work/tool.ppm"); then
  echo "plug-in and vareknoise2-filter give the same pixels"
else
  echo "35-vareknoise2: plug-in and tool differ" >&2
  exit 1
fi

convert "$work/noisy.ppm" demo/vareknoise2-before.png
convert "$work/after.ppm" demo/vareknoise2-after.png
convert \( "$work/noisy.ppm" -crop 200x150+350+220 +repage -scale 300% \) \
        \( "$work/after.ppm" -crop 200x150+350+220 +repage -scale 300% \) +append \
        demo/vareknoise2-crop.png
echo "demo/vareknoise2-before.png demo/vareknoise2-after.png demo/vareknoise2-crop.png"
