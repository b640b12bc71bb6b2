#!/bin/bash
# Film-grain remover: the core's time per megapixel (plain 49-sample
# reference and production), then the whole plug-in run on a 12-megapixel
# RGB layer inside gimp-console-2.10 beside the pass-through plug-in.
# Runs from the project root with build/native built.
set -euo pipefail
tree=${TREE:-build/native}
core_bench=$tree/plugins/tessaline/tessaline_bench
gimp_bench=$tree/plugins/tessaline/tessaline_gimp_bench
plugin=$tree/plugins/tessaline/tessaline
pass=$tree/plugins/corvella-passthrough/corvella-passthrough
for f in "$core_bench" "$gimp_bench" "$plugin" "$pass"; do
  [ -x "$f" ] || { echo "30-tessaline: $f is not built (make native)" >&2; exit 1; }
done

"$core_bench" 2000 1500

results=$(mktemp)
trap 'rm -f "$results"' EXIT
if ! out=$(bash tests/gimp/run-gimp-test.sh --exe "$gimp_bench" --plugin "$plugin" \
             --plugin "$pass" --results "$results" --timeout 300); then
  echo "$out"
  echo "30-tessaline: the GIMP run failed" >&2
  exit 1
fi
if grep -q '^RESULT .* FAIL$' "$results"; then
  echo "$out"
  echo "30-tessaline: the GIMP run's checks failed" >&2
  exit 1
fi
echo "$out" | sed -n 's/^tessaline-bench: //p'
