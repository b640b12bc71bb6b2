#!/bin/bash
# The main job on a real photograph (tests/data/chelsea.png, see
# chelsea.txt): three damaged copies (disc-blurred with a little noise,
# camera-like noise, film-like grain; made by scripts/lib/photo_demo.py from
# fixed seeds) filtered by corvella-batch with the settings the README
# recommends, each result measured against the clean photograph.  Writes
# demo/photo-clean.png, demo/photo-FILTER-before.png and -after.png and
# demo/summary.png (each damaged image beside its result, with filter,
# settings and PSNR, then the launcher screenshot demo/launcher.png made by
# 10-launcher.sh), and prints the figures.  Every filter runs even when
# another failed; the exit status is 1 when any failed.  Runs from the
# project root after `make build`; TREE overrides the native tree.
set -uo pipefail
tree=${TREE:-build/native}
batch=${CORVELLA_BATCH:-$tree/tools/corvella-batch}
photo=tests/data/chelsea.png
out=demo
# Debian's Python, with its numpy and PIL (not whatever python3 is first on
# the PATH).
py=(/usr/bin/python3 scripts/lib/photo_demo.py)

[ -x "$batch" ] || { echo "50-photo: $batch is not built (make native)" >&2; exit 1; }
[ -f "$photo" ] || { echo "50-photo: $photo is missing" >&2; exit 1; }
mkdir -p "$out"
work=$(mktemp -d "${TMPDIR:-/tmp}/corvella-demo-photo.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT

"${py[@]}" damage "$photo" "$work" || { echo "50-photo: making the damaged copies failed" >&2; exit 1; }
cp "$photo" "$out/photo-clean.png"

# name|filter|damaged copy|title|options
steps=(
  "refocus|refocus|blurred|Refocus: disc blur of radius 3 with noise (sigma 2)|--radius 3 --noise 3000 --iterations 30"
  "noise|noise|noisy|Camera noise: signal-dependent noise with colour blotches|"
  "grain|grain|grainy|Film grain: clumped grain, strongest in blue|--red 15 --green 10 --blue 20"
)
status=0 rows=() report=()
for step in "${steps[@]}"; do
  IFS='|' read -r name filter damaged title options <<< "$step"
  before=$out/photo-$name-before.png after=$out/photo-$name-after.png
  cp "$work/$damaged.png" "$before"
  rm -f "$after"
  mkdir -p "$work/$name"
  start=$(date +%s%N)
  # shellcheck disable=SC2086
  if "$batch" "$filter" $options -o "$work/$name" "$work/$damaged.png" > "$work/$name.log" 2>&1 \
     && [ -s "$work/$name/$damaged.png" ]; then
    ms=$(( ($(date +%s%N) - start) / 1000000 ))
    seconds=$((ms / 1000)).$(( ms % 1000 / 100 ))
    cp "$work/$name/$damaged.png" "$after"
    p_before=$("${py[@]}" psnr "$photo" "$before") p_after=$("${py[@]}" psnr "$photo" "$after")
    rows+=("$title|corvella-batch $filter ${options:-(defaults)}|$before|$after|$p_before dB|$p_after dB")
    report+=("$(printf '%-8s %6s dB -> %6s dB  (%s s)  %s' "$name" "$p_before" "$p_after" "$seconds" "${options:-defaults}")")
  else
    cat "$work/$name.log" >&2
    echo "50-photo: corvella-batch $filter failed on $damaged.png" >&2
    p_before=$("${py[@]}" psnr "$photo" "$before")
    rows+=("$title|corvella-batch $filter ${options:-(defaults)}: FAILED|$before||$p_before dB|-")
    report+=("$(printf '%-8s %6s dB -> FAILED' "$name" "$p_before")")
    status=1
  fi
done

"${py[@]}" summary "$out/summary.png" "$out/launcher.png" "${rows[@]}" ||
  { echo "50-photo: the summary could not be made" >&2; status=1; }
[ -f "$out/launcher.png" ] || echo "50-photo: $out/launcher.png is missing (10-launcher failed?); the summary says so" >&2

echo "PSNR against the clean photograph ($photo, $("${py[@]}" size "$photo")):"
printf '  %s\n' "${report[@]}"
echo "Pictures: $out/summary.png (all at a glance), $out/photo-*-before.png and $out/photo-*-after.png"
exit $status
