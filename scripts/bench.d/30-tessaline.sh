#!/bin/bash
# Film-grain remover: the core's time per megapixel (plain 49-sample
# reference and production), then the whole plug-in run on a 12-megapixel
# RGB layer inside gimp-console-2.10 beside the pass-through plug-in.
# Runs from the project root with build/native built.
set -euo pipefail
tree=${TREE:-build/native}
. scripts/lib/gimp-bench.sh
core_bench=$tree/plugins/tessaline/tessaline_bench
gimp_bench=$tree/plugins/tessaline/tessaline_gimp_bench
plugin=$tree/plugins/tessaline/tessaline
bench_require "$core_bench" "$gimp_bench" "$plugin" "$passthrough"

"$core_bench" 2000 1500

gimp_bench_run tessaline 300 "$gimp_bench" "$plugin"
