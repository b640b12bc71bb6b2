#!/bin/bash
# The three filters in GIMP 3 (Debian 13 root): each plug-in's run on a
# 12-megapixel RGB layer beside the GIMP 3 pass-through of the same
# buffers (plug-in-corvella-passthrough3), as the ratio of the two, median
# of RUNS alternating runs.  Each plug-in process is timed from outside by
# a wrapper in the profile's plug-in folder.  Refocus runs
# GIMP3_BENCH_ITERATIONS iterations (default 5) at this size.
# Runs from the project root with build/native and build/gimp3 built.
set -euo pipefail
if [ "${CORVELLA_IN_ROOT:-}" != 1 ]; then
  exec env CORVELLA_IN_ROOT=1 scripts/in-trixie-root bash "$0" "$@"
fi
tree=${GIMP3_TREE:-build/gimp3}
synth=${TREE:-build/native}/tools/corvella-synth-photo
runs=${GIMP3_BENCH_RUNS:-3}
iterations=${GIMP3_BENCH_ITERATIONS:-5}
for f in "$synth" $tree/plug-ins/{ostrel/ostrel,vareknoise2/vareknoise2,tessaline/tessaline,corvella-passthrough3/corvella-passthrough3}; do
  [ -x "$f" ] || { echo "45-gimp3: $f is not built (make native gimp3)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/corvella-gimp3-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/profile/plug-ins"
for n in ostrel vareknoise2 tessaline corvella-passthrough3; do
  mkdir -p "$work/profile/plug-ins/$n"
  real=$(realpath "$tree/plug-ins/$n/$n")
  cat >"$work/profile/plug-ins/$n/$n" <<WRAP
#!/bin/bash
start=\$(date +%s%N)
"$real" "\$@"
status=\$?
echo "$n \$(( (\$(date +%s%N) - start) / 1000000 ))" >>"$work/times"
exit \$status
WRAP
  chmod +x "$work/profile/plug-ins/$n/$n"
done

"$synth" 4000 3000 "$work/in.ppm"
convert "$work/in.ppm" -define png:color-type=2 "$work/in.png"
cat >"$work/bench.scm" <<SCM
(define img (car (gimp-file-load RUN-NONINTERACTIVE "$work/in.png")))
(define layer (vector-ref (car (gimp-image-get-layers img)) 0))
(gimp-image-undo-disable img)
(define (pass) (plug-in-corvella-passthrough3 RUN-NONINTERACTIVE img (vector layer)))
(define (runs n)
  (if (> n 0)
      (begin
        (pass) (plug-in-tessaline RUN-NONINTERACTIVE img (vector layer) 15 10 20)
        (pass) (plug-in-vareknoise2-0-64 RUN-NONINTERACTIVE img (vector layer) 5 1 1 0.13 2 1.4 5 2 0 0.25)
        (pass) (ostrel RUN-NONINTERACTIVE img (vector layer) 6 0 0 0 100 0 30 TRUE 3 $iterations 10)
        (runs (- n 1)))))
(runs $runs)
SCM
# A first start registers the plug-ins (its time is not counted).
GIMP3_DIRECTORY=$work/profile timeout 120 gimp-console-3.0 -i -n \
  --batch-interpreter plug-in-script-fu-eval -b '(gimp-message "ready")' --quit >/dev/null 2>&1
rm -f "$work/times"
if ! GIMP3_DIRECTORY=$work/profile timeout 1800 gimp-console-3.0 -i -n \
     --batch-interpreter plug-in-script-fu-eval -b "(load \"$work/bench.scm\")" --quit \
     >"$work/log" 2>&1; then
  grep -v -e deprecated -e 'named arguments' "$work/log" | tail -20
  echo "45-gimp3: the GIMP run failed" >&2
  exit 1
fi
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# Pass-through runs alternate with the filters: every third one precedes
# the same filter.
awk '$1 == "corvella-passthrough3" { print $2 }' "$work/times" >"$work/pass"
pass_ms=$(median <"$work/pass")
echo "gimp3 pass-through, 12 MP RGB: ${pass_ms} ms (median of $(wc -l <"$work/pass"))"
for n in tessaline vareknoise2 ostrel; do
  ms=$(awk -v n=$n '$1 == n { print $2 }' "$work/times" | median)
  label=$n; [ $n = ostrel ] && label="ostrel ($iterations iterations)"
  awk -v l="$label" -v f="$ms" -v p="$pass_ms" \
    'BEGIN { printf "gimp3 %s, 12 MP RGB: %d ms, %.2f x the pass-through\n", l, f, f / p }'
done
