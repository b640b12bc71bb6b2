#!/bin/bash
# Film-grain remover end to end: a synthetic photograph with added grain is
# loaded into gimp-console-2.10, filtered by the plug-in "plug_in_tessaline"
# (levels 15, 10, 20) and saved; demo/tessaline-before.png and
# demo/tessaline-after.png show the result, demo/tessaline-crop.png a 3x
# enlarged detail (before | after).  Runs from the project root.
set -euo pipefail
. "$(dirname "$0")/../lib/gimp-batch.sh"
tree=${TREE:-build/native}
plugin=$tree/plugins/tessaline/tessaline
synth=$tree/tools/corvella-synth-photo
for f in "$plugin" "$synth"; do
  [ -x "$f" ] || { echo "30-tessaline: $f is not built (make native)" >&2; exit 1; }
done
mkdir -p demo
work=$(mktemp -d "${TMPDIR:-/tmp}/corvella-demo-tessaline.XXXXXX")
trap 'rm -rf "$work"' EXIT

"$synth" 900 600 "$work/photo.ppm" 3
convert "$work/photo.ppm" -seed 7 -attenuate 0.25 +noise Gaussian "$work/grainy.ppm"

gimp_batch_profile "$work" "$plugin"
script="(let* ((image (car (gimp-file-load RUN-NONINTERACTIVE \"$work/grainy.ppm\" \"grainy.ppm\")))
               (layer (car (gimp-image-get-active-layer image))))
          (plug-in-tessaline RUN-NONINTERACTIVE image layer 15 10 20)
          (file-pnm-save RUN-NONINTERACTIVE image layer \"$work/after.ppm\" \"after.ppm\" 1))"
gimp_batch_run 30-tessaline "$work" "$script"
[ -s "$work/after.ppm" ] || { cat "$work/gimp.log"; echo "30-tessaline: no output" >&2; exit 1; }

convert "$work/grainy.ppm" demo/tessaline-before.png
convert "$work/after.ppm" demo/tessaline-after.png
convert \( "$work/grainy.ppm" -crop 200x150+350+220 +repage -scale 300% \) \
        \( "$work/after.ppm" -crop 200x150+350+220 +repage -scale 300% \) +append \
        demo/tessaline-crop.png
echo "demo/tessaline-before.png demo/tessaline-after.png demo/tessaline-crop.png"
