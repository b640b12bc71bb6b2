#!/usr/bin/env bash
# The GIMP 3 plug-ins give, byte for byte, what the command-line tools give
# on the same 8-bit pixels: every filter on RGB, RGBA, GRAY and GRAYA (the
# film-grain filter takes RGB only), on the whole layer and on a
# rectangular selection, whose bounds alone are filtered and written.
# Also a 16-bit image, filtered at 8 bits: back at 8 bits it equals the
# 8-bit result.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"

W=97 H=83
SX=13 SY=9 SW=40 SH=31
make_inputs $W $H
in=$ARTIFACTS/inputs
out=$ARTIFACTS/equality
mkdir -p "$out"

ostrel_args="2.5 0.5 1.5 30 100 0 30 TRUE 3 4 10"
ostrel_tool="--radius 2.5 --gauss 0.5 --motion 1.5 --angle 30 --noise 100 --boundary mirror --smoothness 30 --adaptive --area-size 3 --iterations 4"
noise_args="3 0.8 0.9 0.13 2 1.4 5 2 0 0.25"
noise_tool="--radius 3 --lsmooth 0.8 --csmooth 0.9 --effect 0.13 --lookahead 2 --gamma 1.4 --damping 5 --phase 2 --texture 0 --sharp 0.25"
grain_args="20 12 25"
grain_tool="--red 20 --green 12 --blue 25"

# run_tool FILTER TYPE IN OUT: the tool on the colour channels, alpha
# kept (the refocus tool reads no alpha).
run_tool() {
    local f=$1 t=$2 src=$3 dst=$4
    case $f-$t in
        ostrel-rgba|ostrel-graya)
            convert "$src" -alpha off "$work/colour.pnm"
            "$TOOLS/ostrel-refocus" $ostrel_tool "$work/colour.pnm" "$work/colour-out.pnm"
            convert "$work/colour-out.pnm" \( "$src" -alpha extract \) \
                -compose CopyOpacity -composite "$dst" ;;
        ostrel-*) "$TOOLS/ostrel-refocus" $ostrel_tool "$src" "$dst" ;;
        vareknoise2-*) "$TOOLS/vareknoise2-filter" $noise_tool "$src" "$dst" ;;
        tessaline-*) "$TOOLS/tessaline-filter" $grain_tool "$src" "$dst" ;;
    esac
}

input_of() { case $1 in rgb) echo "$in/rgb.ppm" ;; gray) echo "$in/gray.pgm" ;; *) echo "$in/$1.pam" ;; esac; }

# Expected results, and the Script-Fu that makes GIMP's.
scm=$work/equality.scm
cat >"$scm" <<'SCM'
(define (corvella-run in out sel proc args)
  (let* ((img (car (gimp-file-load RUN-NONINTERACTIVE in)))
         (layer (vector-ref (car (gimp-image-get-layers img)) 0)))
    (if (pair? sel)
        (gimp-image-select-rectangle img CHANNEL-OP-REPLACE
                                     (car sel) (cadr sel) (caddr sel) (cadddr sel)))
    (apply proc (append (list RUN-NONINTERACTIVE img (vector layer)) args))
    (gimp-file-save RUN-NONINTERACTIVE img out -1)
    (gimp-image-delete img)))
(define (corvella-run-16 in out proc args)
  (let* ((img (car (gimp-file-load RUN-NONINTERACTIVE in)))
         (layer #f))
    (gimp-image-convert-precision img PRECISION-U16-NON-LINEAR)
    (set! layer (vector-ref (car (gimp-image-get-layers img)) 0))
    (apply proc (append (list RUN-NONINTERACTIVE img (vector layer)) args))
    (gimp-image-convert-precision img PRECISION-U8-NON-LINEAR)
    (gimp-file-save RUN-NONINTERACTIVE img out -1)
    (gimp-image-delete img)))
SCM
cases=()
for f in ostrel vareknoise2 tessaline; do
    case $f in
        ostrel) proc=ostrel args=$ostrel_args types="rgb rgba gray graya" ;;
        vareknoise2) proc=plug-in-vareknoise2-0-64 args=$noise_args types="rgb rgba gray graya" ;;
        tessaline) proc=plug-in-tessaline args=$grain_args types="rgb" ;;
    esac
    for t in $types; do
        src=$(input_of $t)
        # Whole layer.
        run_tool $f $t "$src" "$out/$f-$t-expected.pam"
        echo "(corvella-run \"$in/$t.png\" \"$out/$f-$t-gimp3.png\" '() $proc (list $args))" >>"$scm"
        cases+=("$f-$t")
        # A rectangle: the bounds filtered alone (the film-grain filter
        # looks beyond them, so its whole-layer result is cut there).
        if [ $f = tessaline ]; then
            convert "$out/$f-$t-expected.pam" -crop ${SW}x${SH}+$SX+$SY +repage "$work/part.pam"
        else
            convert "$src" -crop ${SW}x${SH}+$SX+$SY +repage "$work/crop.${src##*.}"
            run_tool $f $t "$work/crop.${src##*.}" "$work/part.pam"
        fi
        convert "$src" "$work/part.pam" -geometry +$SX+$SY -compose Copy -composite \
            "$out/$f-$t-sel-expected.pam"
        echo "(corvella-run \"$in/$t.png\" \"$out/$f-$t-sel-gimp3.png\" '($SX $SY $SW $SH) $proc (list $args))" >>"$scm"
        cases+=("$f-$t-sel")
    done
    # 16 bits per channel, filtered at 8.
    echo "(corvella-run-16 \"$in/rgb.png\" \"$out/$f-rgb16-gimp3.png\" $proc (list $args))" >>"$scm"
    cp "$out/$f-rgb-expected.pam" "$out/$f-rgb16-expected.pam"
    cases+=("$f-rgb16")
done

if ! gimp_batch "$scm"; then
    fail "GIMP batch run"
fi
for c in "${cases[@]}"; do
    if [ ! -f "$out/$c-gimp3.png" ]; then
        fail "$c: no result"
    elif same_pixels "$out/$c-expected.pam" "$out/$c-gimp3.png"; then
        pass "$c"
    else
        fail "$c: differs from the tool ($(compare -metric AE "$out/$c-expected.pam" "$out/$c-gimp3.png" null: 2>&1) pixels)"
    fi
done
# The filters changed something, or equality would prove nothing.
for f in ostrel vareknoise2 tessaline; do
    if same_pixels "$in/rgb.ppm" "$out/$f-rgb-expected.pam"; then
        fail "$f: the test values leave the picture unchanged"
    fi
done
finish
