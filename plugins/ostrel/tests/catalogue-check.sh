#!/bin/sh
# The refocus plug-in's message catalogue: every translatable text of the
# sources is in ostrel.pot and has a translation in every po/LANG.po (checked
# against the template and against a fresh extraction from the sources), and
# every translation was compiled into the build tree's locale folder.
#   catalogue-check.sh PLUGIN_SOURCE_DIR BUILD_LOCALEDIR
src=$1 locale=$2
status=0
tmp=$(mktemp -d) || exit 1
trap 'rm -rf "$tmp"' EXIT

ids() { sed -n 's/^msgid "\(..*\)"$/\1/p' "$1" | sort -u; }

# Every source of the plug-in that marks texts: those that include the
# catalogue header, wherever they are, so a new file is not missed.
sources=$(grep -rlE --include='*.c' --include='*.h' '#include "ostrel_intl.h"' "$src" | sort)
[ -n "$sources" ] || { echo "FAIL: no source in $src marks translatable texts"; exit 1; }
# shellcheck disable=SC2086
xgettext --keyword=_ --keyword=N_ --from-code=UTF-8 --no-location \
  -o "$tmp/fresh.pot" $sources || exit 1
ids "$tmp/fresh.pot" > "$tmp/fresh"
ids "$src/po/ostrel.pot" > "$tmp/template"
if ! cmp -s "$tmp/fresh" "$tmp/template"; then
  echo "FAIL: po/ostrel.pot is out of date with the sources:"
  diff "$tmp/template" "$tmp/fresh"
  status=1
fi

found=0
for po in "$src"/po/*.po; do
  [ -e "$po" ] || continue
  found=1
  lang=$(basename "$po" .po)
  mo="$locale/$lang/LC_MESSAGES/ostrel.mo"
  if [ ! -s "$mo" ]; then
    echo "FAIL: $mo was not built"; status=1; continue
  fi
  # The compiled catalogue translates every text of the template.
  msgunfmt "$mo" > "$tmp/$lang.po" || { echo "FAIL: $mo is not a catalogue"; status=1; continue; }
  ids "$tmp/$lang.po" > "$tmp/$lang.ids"
  missing=$(comm -23 "$tmp/template" "$tmp/$lang.ids")
  if [ -n "$missing" ]; then
    echo "FAIL: $lang lacks translations for:"; echo "$missing"; status=1
  fi
  if msgattrib --untranslated --no-obsolete "$po" | grep -q '^msgid "..*"'; then
    echo "FAIL: $po has untranslated messages"; status=1
  fi
  # Straight from the sources too: every text xgettext finds now has a
  # translation in the .po, so a new text fails here even when the
  # template was regenerated without updating the translation.
  msgmerge --quiet --no-fuzzy-matching -o "$tmp/$lang.merged.po" "$po" "$tmp/fresh.pot" ||
    { echo "FAIL: $po does not merge with the sources' texts"; status=1; continue; }
  stats=$(msgfmt --statistics -o /dev/null "$tmp/$lang.merged.po" 2>&1)
  echo "$lang against the sources: $stats"
  case "$stats" in
    *fuzz*|*untranslated*) echo "FAIL: $lang lacks translations for:"
      msgattrib --only-fuzzy --no-obsolete "$tmp/$lang.merged.po" | sed -n 's/^msgid "\(..*\)"$/  \1/p'
      msgattrib --untranslated --no-obsolete "$tmp/$lang.merged.po" | sed -n 's/^msgid "\(..*\)"$/  \1/p'
      status=1 ;;
  esac
  # Format strings keep their conversions.
  msgfmt --check-format -o /dev/null "$po" || { echo "FAIL: $po format check"; status=1; }
done
[ $found = 1 ] || { echo "FAIL: no translation in $src/po"; status=1; }
[ $status = 0 ] && echo "catalogue complete"
exit $status
