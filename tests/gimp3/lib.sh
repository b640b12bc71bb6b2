# Shared by the GIMP 3 tests (sourced; runs inside the Debian 13 root).
#   GIMP3_PLUGINS  build/gimp3/plug-ins, the plug-ins under test
#   TOOLS          the command-line tools the results are compared with
#   ARTIFACTS      where inputs, results and screenshots are kept
# Every GIMP start gets a throwaway profile with the plug-ins in it and a
# time limit; the profile goes when the test ends, however it ends.
set -euo pipefail
: "${GIMP3_PLUGINS:?}" "${TOOLS:?}" "${ARTIFACTS:?}"
mkdir -p "$ARTIFACTS"
work=$(mktemp -d /tmp/corvella-gimp3.XXXXXX)
started_pids=()
lib_cleanup() {
    local p
    for p in "${started_pids[@]}"; do kill "$p" 2>/dev/null || true; done
    rm -rf "$work"
}
trap lib_cleanup EXIT
trap 'exit 130' INT TERM HUP
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
finish() { [ "$failures" -eq 0 ] || { echo "$failures failure(s)" >&2; exit 1; }; }

profile=$work/profile
mkdir -p "$profile/plug-ins"
for n in ostrel vareknoise2 tessaline; do
    cp -r "$GIMP3_PLUGINS/$n" "$profile/plug-ins/"
done
export GIMP3_DIRECTORY=$profile

# Harmless noise of a fresh profile and of batch mode.
quiet() {
    grep -v -e 'Failed to parse tag cache' -e 'cannot open display' -e 'gimp_wire_read' \
        -e 'Welcome to GIMP' -e 'gimp_flush(): error' -e '^$' \
        -e 'batch command executed successfully' -e 'as an ordered list is deprecated' \
        -e '^Please use named arguments' -e 'Missing arg type' -e '^ostrel-refocus: [0-9]*%$' >&2 || true
}

# gimp_batch SCHEME-FILE: runs it in gimp-console-3.0, standard output to
# $work/out.txt; fails when GIMP fails or takes longer than 240 s.
gimp_batch() {
    local status=0
    timeout -k 10 240 gimp-console-3.0 -i -n --batch-interpreter plug-in-script-fu-eval \
        -b "(load \"$1\")" --quit >"$work/out.txt" 2>"$work/err.txt" || status=$?
    quiet <"$work/err.txt"
    return $status
}

# Test pictures: a smooth photograph-like plasma with fine noise, 8 bits,
# in every channel layout; alpha runs from 1 to 255 (PNG export does not
# keep the colour of fully transparent pixels).  make_inputs W H
make_inputs() {
    local w=$1 h=$2 d=$ARTIFACTS/inputs
    mkdir -p "$d"
    convert -seed 11 -size "${w}x${h}" plasma:steelblue-khaki +noise Gaussian -depth 8 \
        "$d/rgb.ppm"
    convert -seed 12 -size "${w}x${h}" plasma:black-white -colorspace gray \
        -level 0,100% +level 1,255 -depth 8 "$d/alpha.pgm"
    convert "$d/rgb.ppm" -colorspace gray -depth 8 "$d/gray.pgm"
    convert "$d/rgb.ppm" "$d/alpha.pgm" -compose CopyOpacity -composite -depth 8 "$d/rgba.pam"
    convert "$d/gray.pgm" "$d/alpha.pgm" -compose CopyOpacity -composite -depth 8 \
        -define pam:tupletype=GRAYSCALE_ALPHA "$d/graya.pam"
    convert "$d/rgb.ppm" -define png:color-type=2 "$d/rgb.png"
    convert "$d/rgba.pam" -define png:color-type=6 "$d/rgba.png"
    convert "$d/gray.pgm" -define png:color-type=0 "$d/gray.png"
    convert "$d/graya.pam" -define png:color-type=4 "$d/graya.png"
}

# same_pixels A B: every channel of every pixel equal (alpha included).
same_pixels() {
    local n
    n=$(compare -metric AE "$1" "$2" null: 2>&1) || true
    [ "$n" = "0" ]
}
