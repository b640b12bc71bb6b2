#!/usr/bin/env bash
# Refusals and last values in GIMP 3 batch mode.
#  - Indexed images, and for the film-grain filter every layer but RGB
#    without alpha, are refused with an execution error; values the
#    filters cannot compute with a calling error; the image stays as it was.
#  - A run with last values takes the values GIMP keeps for the procedure:
#    the defaults while no interactive run has ended with OK; values given
#    by a script are not kept (dialog.sh covers the values of a dialog).
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"

make_inputs 61 47
in=$ARTIFACTS/inputs
out=$ARTIFACTS/runmodes
mkdir -p "$out"
convert "$in/rgb.ppm" -colors 16 -define png:color-type=3 "$in/indexed.png"

scm=$work/runmodes.scm
cat >"$scm" <<'SCM'
(define (corvella-load in)
  (let* ((img (car (gimp-file-load RUN-NONINTERACTIVE in))))
    (list img (vector-ref (car (gimp-image-get-layers img)) 0))))
; Runs proc on a fresh copy of in, reports "ran" or "refused" with the
; message GIMP gives, and saves what is left of the image.
(define (corvella-try tag in out proc mode args)
  (let* ((il (corvella-load in)) (img (car il)) (layer (cadr il))
         (outcome (catch (list "refused" (car (gimp-context-get-brush)))
                    (begin (apply proc (append (list mode img (vector layer)) args)) "ran"))))
    (display (string-append "OUTCOME " tag " " (if (string? outcome) outcome "refused")))
    (newline)
    (gimp-file-save RUN-NONINTERACTIVE img out -1)
    (gimp-image-delete img)))
SCM
refusals=(
  "ostrel-indexed indexed ostrel (list 6 0 0 0 100 0 30 TRUE 3 2 10)"
  "vareknoise2-indexed indexed plug-in-vareknoise2-0-64 (list 5 1 1 0.13 2 1.4 5 2 0 0.25)"
  "tessaline-indexed indexed plug-in-tessaline (list 15 10 20)"
  "tessaline-gray gray plug-in-tessaline (list 15 10 20)"
  "tessaline-rgba rgba plug-in-tessaline (list 15 10 20)"
  "ostrel-huge-mask rgb ostrel (list 1000 0 0 0 100 0 30 TRUE 3 2 10)"
  "ostrel-winsize-out-of-range rgb ostrel (list 6 0 0 0 100 0 30 TRUE 65 2 10)"
  "vareknoise2-negative-radius rgb plug-in-vareknoise2-0-64 (list -1 1 1 0.13 2 1.4 5 2 0 0.25)"
  "vareknoise2-huge-radius rgb plug-in-vareknoise2-0-64 (list 1e9 1 1 0.13 2 1.4 5 2 0 0.25)"
)
for r in "${refusals[@]}"; do
    read -r tag type proc args <<<"$r"
    echo "(corvella-try \"$tag\" \"$in/$type.png\" \"$out/$tag.png\" $proc RUN-NONINTERACTIVE $args)" >>"$scm"
done
# Last values: none kept yet (the defaults), then after a run with values.
echo "(corvella-try \"tessaline-last-first\" \"$in/rgb.png\" \"$out/tessaline-last-first.png\" plug-in-tessaline RUN-WITH-LAST-VALS '())" >>"$scm"
echo "(corvella-try \"tessaline-given\" \"$in/rgb.png\" \"$out/tessaline-given.png\" plug-in-tessaline RUN-NONINTERACTIVE (list 40 3 60))" >>"$scm"
echo "(corvella-try \"tessaline-last\" \"$in/rgb.png\" \"$out/tessaline-last.png\" plug-in-tessaline RUN-WITH-LAST-VALS '())" >>"$scm"
echo "(corvella-try \"vareknoise2-given\" \"$in/gray.png\" \"$out/vareknoise2-given.png\" plug-in-vareknoise2-0-64 RUN-NONINTERACTIVE (list 2 0.5 1 0.2 1.5 1.2 3 1 0.1 0.5))" >>"$scm"
echo "(corvella-try \"vareknoise2-last\" \"$in/gray.png\" \"$out/vareknoise2-last.png\" plug-in-vareknoise2-0-64 RUN-WITH-LAST-VALS '())" >>"$scm"
echo "(corvella-try \"ostrel-given\" \"$in/gray.png\" \"$out/ostrel-given.png\" ostrel RUN-NONINTERACTIVE (list 3 0 2 45 50 1 20 FALSE 2 3 10))" >>"$scm"
echo "(corvella-try \"ostrel-last\" \"$in/gray.png\" \"$out/ostrel-last.png\" ostrel RUN-WITH-LAST-VALS '())" >>"$scm"

gimp_batch "$scm" || fail "GIMP batch run"
cp "$work/out.txt" "$out/outcomes.txt"
outcome() { sed -n "s/^OUTCOME $1 //p" "$work/out.txt"; }

for r in "${refusals[@]}"; do
    read -r tag type _ <<<"$r"
    if [ "$(outcome "$tag")" != refused ]; then
        fail "$tag: not refused ($(outcome "$tag"))"
    elif [ -f "$out/$tag.png" ] && same_pixels "$in/$type.png" "$out/$tag.png"; then
        pass "$tag refused, image unchanged"
    else
        fail "$tag: the image changed"
    fi
done
"$TOOLS/tessaline-filter" "$in/rgb.ppm" "$work/t-default.ppm"
"$TOOLS/tessaline-filter" --red 40 --green 3 --blue 60 "$in/rgb.ppm" "$work/t-given.ppm"
"$TOOLS/vareknoise2-filter" "$in/gray.pgm" "$work/v-default.pgm"
"$TOOLS/ostrel-refocus" "$in/gray.pgm" "$work/o-default.pgm"
"$TOOLS/vareknoise2-filter" --radius 2 --lsmooth 0.5 --csmooth 1 --effect 0.2 --lookahead 1.5 \
    --gamma 1.2 --damping 3 --phase 1 --texture 0.1 --sharp 0.5 "$in/gray.pgm" "$work/v-given.pgm"
"$TOOLS/ostrel-refocus" --radius 3 --gauss 0 --motion 2 --angle 45 --noise 50 --boundary periodic \
    --smoothness 20 --no-adaptive --area-size 2 --iterations 3 "$in/gray.pgm" "$work/o-given.pgm"
check_result() { # TAG EXPECTED
    if [ "$(outcome "$1")" = ran ] && same_pixels "$2" "$out/$1.png"; then
        pass "$1"
    else
        fail "$1: $(outcome "$1"), not the expected result"
    fi
}
check_result tessaline-last-first "$work/t-default.ppm"
check_result tessaline-given "$work/t-given.ppm"
check_result tessaline-last "$work/t-default.ppm"
check_result vareknoise2-given "$work/v-given.pgm"
check_result vareknoise2-last "$work/v-default.pgm"
check_result ostrel-given "$work/o-given.pgm"
check_result ostrel-last "$work/o-default.pgm"
finish
