#!/bin/bash
# Runs one GIMP test program (a GoogleTest program that is a GIMP plug-in)
# inside a real GIMP, once, with a throwaway profile.
#
#   run-gimp-test.sh --exe PROGRAM --results FILE [--mode batch|interactive|editor]
#                    [--plugin PLUGIN]... [--timeout SECONDS]
#                    [--artifacts DIR] [--keep-profile]
#
# batch:       gimp-console-2.10 -i -d -f -n
# interactive: gimp-2.10 -i -d -f -n on a private Xvfb server
# editor:      gimp-2.10 -s -d -f -n there, with the editor's own windows, so
#              the program can open displays of its images and type into them
# The profile's gimprc puts a folder of links to PROGRAM and each PLUGIN (in
# the build tree) on the plug-in path beside GIMP's own plug-ins.  GIMP then
# runs the procedure "corvella-bench-run", which writes FILE.
# Exit status 0 when GIMP ran the program to its end, exited with status 0
# and no plug-in crashed; the cases' own verdicts are in FILE (see
# check-gimp-case.sh).  CORVELLA_GIMP_TEST_FILTER (a gtest filter) is passed
# through to the program.
set -u

mode=batch exe= results= timeout=180 artifacts= keep=0
plugins=()
while [ $# -gt 0 ]; do
  case "$1" in
    --exe) exe=$2; shift 2 ;;
    --results) results=$2; shift 2 ;;
    --mode) mode=$2; shift 2 ;;
    --plugin) plugins+=("$2"); shift 2 ;;
    --timeout) timeout=$2; shift 2 ;;
    --artifacts) artifacts=$2; shift 2 ;;
    --keep-profile) keep=1; shift ;;
    *) echo "run-gimp-test.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
if [ -z "$exe" ] || [ -z "$results" ]; then
  echo "usage: run-gimp-test.sh --exe PROGRAM --results FILE [--mode batch|interactive|editor] [--plugin P]... [--timeout S] [--artifacts DIR]" >&2
  exit 2
fi
for f in "$exe" "${plugins[@]}"; do
  [ -x "$f" ] || { echo "run-gimp-test.sh: $f is not a built program" >&2; exit 1; }
done

case "$mode" in
  batch) gimp=${GIMP_CONSOLE:-gimp-console-2.10} ui=-i ;;
  interactive) gimp=${GIMP_GUI:-gimp-2.10} ui=-i ;;
  editor) gimp=${GIMP_GUI:-gimp-2.10} ui=-s ;;
  *) echo "run-gimp-test.sh: unknown mode $mode" >&2; exit 2 ;;
esac

name=$(basename "$exe")
profile=$(mktemp -d "${TMPDIR:-/tmp}/corvella-gimp-$name.XXXXXX") || exit 1
. "$(dirname "$0")/xvfb.sh"
cleanup() {
  xvfb_stop
  if [ "$keep" = 1 ]; then echo "profile kept in $profile"; else rm -rf "$profile"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Links, not copies: the plug-in path reads the build tree's programs.
mkdir -p "$profile/under-test"
for f in "$exe" "${plugins[@]}"; do
  ln -s "$(realpath "$f")" "$profile/under-test/$(basename "$f")"
done
cat > "$profile/gimprc" <<EOF
(plug-in-path "\${gimp_plug_in_dir}/plug-ins:$profile/under-test")
EOF

mkdir -p "$(dirname "$results")"
rm -f "$results"
[ -n "$artifacts" ] && mkdir -p "$artifacts"

if [ "$mode" != batch ]; then
  xvfb_start "$profile" || exit 1
fi

log="$profile/gimp.log"
start=$(date +%s%N)
GIMP2_DIRECTORY="$profile" \
CORVELLA_GIMP_TEST_RESULTS="$results" \
CORVELLA_GIMP_TEST_ARTIFACTS="${artifacts:-$profile}" \
CORVELLA_GIMP_TEST_MODE="$mode" \
NO_AT_BRIDGE=1 \
  timeout -k 10 "$timeout" "$gimp" $ui -d -f -n \
    -b '(corvella-bench-run RUN-NONINTERACTIVE)' -b '(gimp-quit 0)' \
    < /dev/null > "$log" 2>&1
rc=$?
elapsed_ms=$(( ($(date +%s%N) - start) / 1000000 ))
elapsed="$((elapsed_ms / 1000)).$(printf %03d $((elapsed_ms % 1000)))"

# Noise that a fresh profile without data folders always produces on exit,
# and GIMP 2.10's note on menu paths given at registration (still valid).
noise='^\s*$|^Plug-in "[^"]*"$|with a full menu path|Failed to parse tag cache|Failed to save data|writable data folder configured|batch command executed successfully|GeglBuffers? leaked|EEEEeEeek|gegl_tile_cache_destroy'
echo "--- GIMP output ($name, $mode, ${elapsed}s, exit status $rc), routine messages left out ---"
grep -Ev "$noise" "$log"
echo "--- end of GIMP output ---"

status=0
if [ $rc -eq 124 ] || [ $rc -eq 137 ]; then
  echo "FAIL: GIMP did not finish within ${timeout}s"
  status=1
elif [ $rc -ne 0 ]; then
  echo "FAIL: GIMP exited with status $rc"
  status=1
fi
# A plug-in that dies is reported by GIMP (and by the plug-in's own handler).
if grep -Eq 'crashed|fatal error|Segmentation fault|Aborted|terminated|wire_read|wire_write|Gdk-ERROR|GLib-ERROR|CRITICAL' "$log"; then
  echo "FAIL: a plug-in crashed or reported a critical error:"
  grep -E 'crashed|fatal error|Segmentation fault|Aborted|terminated|wire_read|wire_write|Gdk-ERROR|GLib-ERROR|CRITICAL' "$log"
  status=1
fi
if [ ! -s "$results" ]; then
  echo "FAIL: the test program wrote no results (not registered or never called)"
  status=1
elif ! grep -q '^END ' "$results"; then
  last=$(grep '^START ' "$results" | tail -n1 | cut -d' ' -f2)
  echo "FAIL: the test program stopped during case $last"
  status=1
else
  read -r _ ran failed < <(grep '^END ' "$results")
  echo "cases run: $ran, failed: $failed"
  grep '^RESULT .* FAIL$' "$results" | sed 's/^RESULT /  failed: /; s/ FAIL$//'
  grep '^MSG ' "$results" | sed 's/^MSG /  /'
fi
exit $status
