#!/bin/bash
# Camera-noise filter: the core's time per megapixel (plain reference and
# production, with the PSNR on a noisy photo), then the whole plug-in run on
# a 12-megapixel RGB layer inside gimp-console-2.10 beside a pass-through
# that moves the same rows and columns, and beside GIMP's own filters.
# Runs from the project root with build/native built.
set -euo pipefail
tree=${TREE:-build/native}
. scripts/lib/gimp-bench.sh
core_bench=$tree/plugins/vareknoise2/vareknoise2-core-bench
gimp_bench=$tree/plugins/vareknoise2/vareknoise2_gimp_bench
plugin=$tree/plugins/vareknoise2/vareknoise2
bench_require "$core_bench" "$gimp_bench" "$plugin" "$passthrough"

"$core_bench" 2000 1500 400

gimp_bench_run vareknoise2 400 "$gimp_bench" "$plugin"
