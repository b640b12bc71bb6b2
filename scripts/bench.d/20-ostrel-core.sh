#!/bin/bash
# Refocus core: reference vs production sweep on a 1024 x 1024 photo
# channel, the machine's FP32 FMA peak and the data term's share of it, and
# the whole default run (1 MP RGB, 100 iterations, adaptive smoothing) with
# its peak resident memory.  Run from the project root with build/native
# built.  Times are the process's own CPU time, so other load on the
# machine does not count against the code measured.
set -euo pipefail
bench=build/native/tools/ostrel-core-bench
if [ ! -x "$bench" ]; then
  echo "ostrel-core: $bench is missing (build build/native first)" >&2
  exit 1
fi

"$bench" sweeps

# The whole run.  OSTREL_BENCH_ITERATIONS (default 100) lowers the count
# for a quick look; fewer iterations are extrapolated linearly from a
# 1-iteration and an N-iteration run (the set-up is the difference).
n=${OSTREL_BENCH_ITERATIONS:-100}
read -r i1 cpu1 wall1 rss1 px < <("$bench" run 1)
if [ "$n" -gt 1 ]; then
  read -r iN cpuN wallN rssN px < <("$bench" run "$n")
else
  iN=$i1 cpuN=$cpu1 wallN=$wall1 rssN=$rss1
fi
awk -v n="$n" -v c1="$cpu1" -v cN="$cpuN" -v wN="$wallN" -v r1="$rss1" -v rN="$rssN" -v px="$px" 'BEGIN {
  per = (n > 1) ? (cN - c1) / (n - 1) : cN;
  printf "whole default run, 1 MP RGB, %d iterations, adaptive smoothing: %.1f s CPU (%.1f s wall)\n", n, cN, wN;
  if (n != 100)
    printf "  extrapolated to 100 iterations: %.1f s CPU (%.3f s per iteration, set-up %.2f s)\n",
           c1 - per + 100 * per, per, c1 - per;
  rss = (rN > r1) ? rN : r1;
  printf "peak resident memory: %.1f MB = %.1f bytes per pixel (target at most 64)\n", rss / 1048576, rss / px;
}'
