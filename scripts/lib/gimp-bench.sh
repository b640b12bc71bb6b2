# The in-GIMP part of a filter's benchmark, sourced by scripts/bench.d/*.sh
# (from the project root, with tree set to the build tree): a bench program
# of the GIMP test bench run once inside gimp-console-2.10, beside the
# plug-in under test and the pass-through plug-in.
bench=$(basename "$0" .sh)
passthrough=$tree/plugins/corvella-passthrough/corvella-passthrough

# bench_require FILE...: fails naming the first FILE that is not a built
# program.
bench_require() {
  local f
  for f in "$@"; do
    [ -x "$f" ] || { echo "$bench: $f is not built (make native)" >&2; exit 1; }
  done
}

# gimp_bench_run PREFIX TIMEOUT PROGRAM PLUGIN: runs PROGRAM with PLUGIN
# and the pass-through; when GIMP or the program's checks fail, shows GIMP's
# output and fails; else prints the program's lines "PREFIX-bench: ..."
# without the prefix.
gimp_bench_run() {
  local prefix=$1 timeout=$2 program=$3 plugin=$4 out
  bench_results=$(mktemp)
  trap 'rm -f "$bench_results"' EXIT
  if ! out=$(bash tests/gimp/run-gimp-test.sh --exe "$program" --plugin "$plugin" \
               --plugin "$passthrough" --results "$bench_results" --timeout "$timeout"); then
    echo "$out"
    echo "$bench: the GIMP run failed" >&2
    exit 1
  fi
  if grep -q '^RESULT .* FAIL$' "$bench_results"; then
    echo "$out"
    echo "$bench: the GIMP run's checks failed" >&2
    exit 1
  fi
  echo "$out" | sed -n "s/^$prefix-bench: //p"
}
