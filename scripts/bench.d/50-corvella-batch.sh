#!/bin/bash
# corvella-batch on 20 two-megapixel JPEGs made from the test photograph,
# with each filter: seconds per image with --jobs 1 and --jobs 2 and the
# speed-up, and the share of each image's time spent outside the filter core
# (reading, converting, writing, the worker's own share), set against
# `vips copy` of the same files.  Runs from the project root with
# build/native built.  The --jobs 1 and --jobs 2 runs alternate
# (BATCH_BENCH_ROUNDS pairs, default 5) and the medians are shown, with the
# median of the pairs' speed-ups, so a drift of the machine's speed touches
# both alike.  REFOCUS_ITERATIONS (default 2) keeps the refocus runs short;
# its time grows linearly with them.
set -euo pipefail
tree=${TREE:-build/native}
batch=$tree/tools/corvella-batch
iterations=${REFOCUS_ITERATIONS:-2}
rounds=${BATCH_BENCH_ROUNDS:-5}
[ -x "$batch" ] || { echo "50-corvella-batch: $batch is not built (make native)" >&2; exit 1; }
command -v vips >/dev/null || { echo "50-corvella-batch: vips is missing (make deps)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/in"
# 1732 x 1152 pixels: 2.0 megapixels.
vips resize tests/data/chelsea.png "$work/photo.jpg[Q=92]" 3.84
for k in $(seq -w 1 20); do cp "$work/photo.jpg" "$work/in/IMG_00$k.jpg"; done
files=("$work"/in/*.jpg)
n=${#files[@]}

seconds() { date +%s.%N; }
calc() { awk "BEGIN { printf \"%.6f\", $1 }"; }
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# vips copy of every file, one process each, as a photographer's script would.
t0=$(seconds)
for f in "${files[@]}"; do vips copy "$f" "$work/copy.jpg"; done
t1=$(seconds)
copy=$(calc "($t1 - $t0) / $n")
printf 'vips copy: %.3f s per image (decode and encode, one process per file)\n' "$copy"

run() { # filter jobs [options...] -> wall seconds; lines in $work/lines
  local filter=$1 jobs=$2
  shift 2
  rm -rf "$work/out"
  local a b
  a=$(seconds)
  "$batch" "$filter" "$@" --timing --jobs "$jobs" -o "$work/out" "${files[@]}" > "$work/lines"
  b=$(seconds)
  calc "$b - $a"
}

for run_args in "grain" "noise" "refocus --iterations $iterations"; do
  read -r -a args <<< "$run_args"
  ones=() twos=() ratios=()
  for r in $(seq 1 "$rounds"); do
    w1=$(run "${args[@]:0:1}" 1 "${args[@]:1}")
    if [ "$r" = 1 ]; then
      # Core time and reading/writing per image from a --jobs 1 run, set
      # against that run's own time per image (the medians come from
      # other runs, and a filter that is nearly all core could show a
      # negative share against them).
      read -r rd core wr < <(sed -n 's/.*\[read \([0-9.]*\) s, filter \([0-9.]*\) s, write \([0-9.]*\) s\]/\1 \2 \3/p' \
                               "$work/lines" | awk '{r+=$1; f+=$2; w+=$3} END {printf "%f %f %f\n", r/NR, f/NR, w/NR}')
      first=$(calc "$w1 / $n")
    fi
    w2=$(run "${args[@]:0:1}" 2 "${args[@]:1}")
    ones+=("$w1") twos+=("$w2") ratios+=("$(calc "$w1 / $w2")")
  done
  per1=$(calc "$(median "${ones[@]}") / $n")
  per2=$(calc "$(median "${twos[@]}") / $n")
  outside=$(calc "100 * ($first - $core) / $first")
  printf '%s: %d images of 2.0 MP; --jobs 1 %.3f s per image, --jobs 2 %.3f s per image (medians of %d), speed-up %.2fx\n' \
    "$run_args" "$n" "$per1" "$per2" "$rounds" "$(median "${ratios[@]}")"
  printf '  per image with --jobs 1: core %.3f s, read %.3f s, write %.3f s; outside the core %.0f%% (vips copy %.3f s)\n' \
    "$core" "$rd" "$wr" "$outside" "$copy"
done
