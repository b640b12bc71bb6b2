#!/bin/bash
# Refocus core: reference vs production sweep on a 1024 x 1024 photo
# channel, the machine's FP32 FMA peak and the data term's share of it, the
# whole default run (1 MP RGB, 100 iterations, adaptive smoothing) with its
# peak resident memory, and ostrel-refocus with 30 iterations beside
# scikit-image's Richardson-Lucy with 30 iterations (float32, one thread) on
# the same blurred 1 MP RGB photo in the same run.  Run from the project
# root with build/native built.  Times are the processes' own CPU time, so
# other load on the machine does not count against the code measured (it
# still slows both through shared caches: compare the ratios).
set -euo pipefail
bench=build/native/tools/ostrel-core-bench
tool=build/native/tools/ostrel-refocus
synth=build/native/tools/corvella-synth-photo
rl=plugins/ostrel/bench/richardson_lucy_bench.py
for f in "$bench" "$tool" "$synth"; do
  if [ ! -x "$f" ]; then
    echo "ostrel-core: $f is missing (build build/native first)" >&2
    exit 1
  fi
done

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
  printf "peak resident memory: %.1f MB = %.1f bytes per pixel (goal at most 64: %s)\n", rss / 1048576, rss / px, (rss / px <= 64 ? "met" : "missed");
  cpu100 = (n == 100) ? cN : c1 - per + 100 * per;
  printf "goal: the whole default run at most 8 s CPU: %.1f s, %s\n", cpu100, (cpu100 <= 8 ? "met" : "missed");
}'

# Beside Richardson-Lucy: the synthetic photo blurred by the default mask
# (the kind of photo both are for), 30 iterations each.
work=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-core-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$synth" 1024 1024 "$work/sharp.ppm"
"$tool" --print-mask > "$work/mask.txt"
/usr/bin/python3 "$rl" blur "$work/sharp.ppm" "$work/mask.txt" "$work/in.ppm"
/usr/bin/time -o "$work/tool-times" -f "%U %S" \
  "$tool" --iterations 30 --seed 1 "$work/in.ppm" "$work/out.ppm" 2>/dev/null
read -r rl_cpu rl_type < <(/usr/bin/python3 "$rl" time "$work/in.ppm" "$work/mask.txt" 30)
read -r t_user t_sys < "$work/tool-times"
awk -v tu="$t_user" -v ts="$t_sys" -v rl="$rl_cpu" -v ty="$rl_type" 'BEGIN {
  t = tu + ts;
  printf "1 MP RGB, 30 iterations: ostrel-refocus %.2f s CPU (whole process), Richardson-Lucy (%s, one thread) %.2f s CPU\n", t, ty, rl;
  printf "goal: ostrel-refocus / Richardson-Lucy at most 1.0: %.2f, %s\n", t / rl, (t <= rl ? "met" : "missed");
}'
