#!/usr/bin/env bash
# scripts/in-trixie-root: commands run in the Debian 13 root in the caller's
# folder with /proc, /dev and /dev/pts; their status comes back; and no
# mount is left behind, whether a command succeeds, fails or is killed,
# also with several at once.  scripts/trixie-root is current (quick, no
# change) once install-deps has run.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd -P)
enter=$top/scripts/in-trixie-root
root=${CORVELLA_TRIXIE_ROOT:-/var/cache/corvella/trixie-root}
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
mounts() { grep -c " $root/" /proc/self/mounts || true; }

cd "$top"
[ "$(mounts)" = 0 ] || fail "mounts under $root before the test"
"$top/scripts/trixie-root" || fail "trixie-root on a current root"

out=$("$enter" sh -c '. /etc/os-release; echo "$VERSION_CODENAME $(pwd) $(ls /proc/self/fd | wc -l) $(test -c /dev/null && echo dev) $(test -d /dev/pts && echo pts)"')
[ "$out" = "trixie $top $(echo "$out" | cut -d' ' -f3) dev pts" ] || fail "inside the root: '$out'"

"$enter" sh -c 'exit 7'
[ $? = 7 ] || fail "the command's status does not come back"

# Several at once, one failing, one killed while it runs.
"$enter" sleep 2 & a=$!
"$enter" sh -c 'sleep 1; exit 3' & b=$!
"$enter" sleep 30 & c=$!
sleep 1
kill -TERM "$c"
wait "$a" || fail "a concurrent command failed"
wait "$b"; [ $? = 3 ] || fail "a concurrent failure lost its status"
wait "$c" 2>/dev/null
sleep 0.5
[ "$(mounts)" = 0 ] || fail "mounts left behind: $(grep " $root/" /proc/self/mounts)"

(cd / && "$enter" true 2>/dev/null) && fail "entered from outside the tree"

[ $failures = 0 ] && echo "ok: in-trixie-root" || exit 1
