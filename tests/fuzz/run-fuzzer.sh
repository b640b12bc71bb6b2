#!/bin/bash
# Runs one libFuzzer target for a bounded time on a fresh copy of its seed
# corpus and prints its figures:
#   run-fuzzer.sh --seconds S --max-len N --work DIR FUZZER CORPUS
# The line "fuzz NAME: E executions in S s, R per second" is what
# scripts/fuzz-long collects.  A crashing input is saved as
# DIR/crash-* (add it to CORPUS as a regression case once fixed).
set -u
seconds=10 max_len=4096 work=
while [ $# -gt 2 ]; do
  case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    --max-len) max_len=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    *) echo "run-fuzzer.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
fuzzer=$1 corpus=$2
name=$(basename "$fuzzer")
[ -n "$work" ] || work=$(dirname "$fuzzer")/$name-work
rm -rf "$work" && mkdir -p "$work/corpus" || exit 2
cp "$corpus"/* "$work/corpus/" 2>/dev/null
log=$work/log.txt
ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} \
UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1} \
  "$fuzzer" -max_total_time="$seconds" -max_len="$max_len" -rss_limit_mb=2048 \
    -malloc_limit_mb=1200 -timeout=20 -print_final_stats=1 \
    -artifact_prefix="$work/" "$work/corpus" >"$log" 2>&1
status=$?
execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
if [ "$status" -ne 0 ]; then
  tail -60 "$log"
  echo "fuzz $name: FAILED (status $status); inputs: $(ls "$work" | grep -E '^(crash|leak|timeout|oom|slow-unit)-' | tr '\n' ' ')"
  exit 1
fi
echo "fuzz $name: ${execs:-?} executions in $seconds s, ${rate:-?} per second"
