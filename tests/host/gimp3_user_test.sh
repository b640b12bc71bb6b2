#!/usr/bin/env bash
# scripts/gimp3-user: install puts the GIMP 3 plug-ins of build/gimp3 (and
# refocus's catalogues) into $XDG_CONFIG_HOME/GIMP/3.0/plug-ins/NAME/;
# uninstall removes exactly those files and leaves everything else there.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
export XDG_CONFIG_HOME
XDG_CONFIG_HOME=$(mktemp -d)
trap 'rm -rf "$XDG_CONFIG_HOME"' EXIT
dest=$XDG_CONFIG_HOME/GIMP/3.0/plug-ins
mkdir -p "$dest/other" "$dest/ostrel"
echo keep >"$dest/other/other"
echo keep >"$dest/ostrel/notes.txt"

"$top/scripts/gimp3-user" install >/dev/null || fail "install"
for n in ostrel vareknoise2 tessaline; do
    cmp -s "$top/build/gimp3/plug-ins/$n/$n" "$dest/$n/$n" && [ -x "$dest/$n/$n" ] ||
        fail "$n not installed as built"
done
for po in "$top"/plugins/ostrel/po/*.po; do
    lang=$(basename "$po" .po)
    [ -f "$dest/ostrel/locale/$lang/LC_MESSAGES/ostrel.mo" ] || fail "no $lang catalogue"
done

"$top/scripts/gimp3-user" uninstall >/dev/null || fail "uninstall"
left=$(cd "$dest" && find . -mindepth 1 | sort | tr '\n' ' ')
[ "$left" = "./ostrel ./ostrel/notes.txt ./other ./other/other " ] || fail "left behind: $left"
"$top/scripts/gimp3-user" uninstall >/dev/null || fail "a second uninstall"
"$top/scripts/gimp3-user" bogus 2>/dev/null && fail "an unknown command was accepted"
[ $failures = 0 ] && echo "ok: gimp3-user" || exit 1
