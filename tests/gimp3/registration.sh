#!/usr/bin/env bash
# What GIMP 3 registers for the three procedures (names, blurbs, menu
# labels and places, image types, argument names, types, ranges, defaults
# and description texts), read from the profile's pluginrc after the first
# start, against registration.expected.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"

echo '(gimp-message "registered")' >"$work/start.scm"
gimp_batch "$work/start.scm" || fail "GIMP start"
rc=$profile/pluginrc
if [ ! -f "$rc" ]; then
    fail "GIMP wrote no pluginrc"
    finish
fi
# Each of our programs registers one procedure: its proc-def runs up to the
# next plug-in-def.
for name in ostrel plug-in-vareknoise2-0-64 plug-in-tessaline; do
    awk -v start="(proc-def \"$name\" " '
        index($0, start) { on = 1 }
        on && /^\(plug-in-def/ { exit }
        on { sub(/^[ \t]+/, ""); print }' "$rc"
done >"$ARTIFACTS/registration.txt"
if diff -u "$here/registration.expected" "$ARTIFACTS/registration.txt"; then
    pass "registration"
else
    fail "registration differs from registration.expected"
fi
finish
