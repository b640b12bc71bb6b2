#!/usr/bin/env bash
# Refocus's message catalogue in GIMP 3: in a German session the procedure
# registers with the German texts of po/de.po (read back from pluginrc),
# while the other filters, which have no catalogue, keep their texts.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"

echo '(gimp-message "registered")' >"$work/start.scm"
LANG=de_DE.UTF-8 LANGUAGE=de gimp_batch "$work/start.scm" || fail "GIMP start in German"
rc=$profile/pluginrc
blurb() { awk -v start="(proc-def \"$1\" " 'index($0, start) { getline; sub(/^[ \t]+/, ""); print; exit }' "$rc"; }
help() { awk -v start="(proc-def \"$1\" " 'index($0, start) { getline; getline; sub(/^[ \t]+/, ""); print; exit }' "$rc"; }
want_blurb=$(sed -n '/^msgid "Iterative refocus."$/{n;s/^msgstr //p}' "$here/../../plugins/ostrel/po/de.po")
want_help=$(sed -n '/^msgid "This plug-in iteratively refocuses a defocused image."$/{n;s/^msgstr "\(.*\)"$/\1/p}' "$here/../../plugins/ostrel/po/de.po")
[ -n "$want_blurb" ] && [ -n "$want_help" ] || fail "de.po lacks the procedure's texts"
[ "$(blurb ostrel)" = "$want_blurb" ] && pass "ostrel blurb in German" ||
    fail "ostrel blurb: $(blurb ostrel), not $want_blurb"
case "$(help ostrel)" in
    "\"$want_help "*) pass "ostrel help in German" ;;
    *) fail "ostrel help: $(help ostrel)" ;;
esac
[ "$(blurb plug-in-tessaline)" = '"Film Grain reduction for Gimp 1.3 / 2.0"' ] &&
    pass "tessaline blurb unchanged" || fail "tessaline blurb: $(blurb plug-in-tessaline)"
finish
