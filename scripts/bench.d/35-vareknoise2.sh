#!/bin/bash
# Camera-noise filter: the core's time per megapixel (plain reference and
# production, with the PSNR on a noisy photo), then the whole plug-in run on
# a 12-megapixel RGB layer inside gimp-console-2.10 beside a pass-through
# that moves the same rows and columns, and beside GIMP's own filters.
# Runs from the project root with build/native built.
set -euo pipefail
tree=${TREE:-build/native}
core_bench=$tree/plugins/vareknoise2/vareknoise2-core-bench
gimp_bench=$tree/plugins/vareknoise2/vareknoise2_gimp_bench
plugin=$tree/plugins/vareknoise2/vareknoise2
pass=$tree/plugins/corvella-passthrough/corvella-passthrough
for f in "$core_bench" "$gimp_bench" "$plugin" "$pass"; do
  [ -x "$f" ] || { echo "35-vareknoise2: $f is not built (make native)" >&2; exit 1; }
done

"$core_bench" 2000 1500 400

results=$(mktemp)
trap 'rm -f "$results"' EXIT
if ! out=$(bash tests/gimp/run-gimp-test.sh --exe "$gimp_bench" --plugin "$plugin" \
             --plugin "$pass" --results "$results" --timeout 400); then
  echo "$out"
  echo "35-vareknoise2: the GIMP run failed" >&2
  exit 1
fi
if grep -q '^RESULT .* FAIL$' "$results"; then
  echo "$out"
  echo "35-vareknoise2: the GIMP run's checks failed" >&2
  exit 1
fi
echo "$out" | sed -n 's/^vareknoise2-bench: //p'
