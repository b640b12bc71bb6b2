#!/bin/bash
# The plug-ins installed by scripts/gimp-install, in scratch folders.
#
#   install-test.sh CASE TREE SOURCE_DIR
#
# CASE user:    install-user into a scratch HOME whose GIMP profile GIMP
#               made itself; a headless gimp-console-2.10 (no
#               GIMP2_DIRECTORY: it finds the profile under ~/.config) lists
#               the three procedures with their menu paths from the
#               profile's plug-in folder and runs each once on the real
#               photograph; uninstall-user leaves the profile's plug-in
#               folder as it was.
# CASE layouts: without GIMP: the profile under $XDG_CONFIG_HOME, under a
#               relative GIMP2_DIRECTORY, a system-wide install under a
#               scratch prefix (DESTDIR style) and their uninstalls leaving
#               nothing behind; a reinstall; refusals (unbuilt tree, damaged
#               manifest, nothing installed) that change nothing.
set -u
case_=$1 tree=$(cd "$2" && pwd) src=$(cd "$3" && pwd)
install=$src/scripts/gimp-install
photo=$src/tests/data/chelsea.png
status=0
fail() { echo "FAIL: $*"; status=1; }

# Only the scratch folders below are ever installed into, whatever the
# caller's environment says.
unset GIMP2_DIRECTORY XDG_CONFIG_HOME DESTDIR
scratch=$(mktemp -d "${TMPDIR:-/tmp}/corvella-install-test.XXXXXX") || exit 1
trap 'rm -rf "$scratch"' EXIT
trap 'exit 130' INT TERM

# Every path under a folder with its kind, for before/after comparisons.
listing() { (cd "$1" && find . -printf '%y %p\n' | sort); }

# The files a user install must hold, relative to the profile.
user_files=(plug-ins/ostrel/ostrel plug-ins/vareknoise2/vareknoise2
            plug-ins/tessaline/tessaline
            plug-ins/ostrel/locale/de/LC_MESSAGES/ostrel.mo
            plug-ins/ostrel/help/en/filters/ostrelhelp.html
            plug-ins/ostrel/help/en/gimp-help.xml)

check_user_install() {   # PROFILE
  local f
  for f in "${user_files[@]}"; do
    [ -f "$1/$f" ] || fail "$1/$f was not installed"
  done
  for f in ostrel vareknoise2 tessaline; do
    [ -x "$1/plug-ins/$f/$f" ] || fail "$1/plug-ins/$f/$f is not executable"
  done
  [ -f "$1/corvella-installed.txt" ] || fail "no manifest in $1"
}

# Runs Script-Fu in gimp-console-2.10 with HOME=$1 (at most 180 s).
gimp_batch() {
  HOME=$1 NO_AT_BRIDGE=1 timeout -k 10 180 \
    gimp-console-2.10 -i -d -f -n -b "$2" -b '(gimp-quit 0)' \
    < /dev/null > "$scratch/gimp.log" 2>&1
}

case_user() {
  local home=$scratch/home profile=$scratch/home/.config/GIMP/2.10
  mkdir -p "$home"
  # GIMP makes its profile (and the empty plug-ins folder) on first start.
  gimp_batch "$home" '(gimp-message "profile made")' || { cat "$scratch/gimp.log"; fail "GIMP did not start"; return; }
  [ -d "$profile" ] || { fail "GIMP made no profile at $profile"; return; }
  listing "$profile/plug-ins" > "$scratch/before"

  HOME=$home "$install" install-user "$tree" \
    > "$scratch/install.log" 2>&1 || { cat "$scratch/install.log"; fail "install-user failed"; return; }
  check_user_install "$profile"

  local out=$scratch/out
  mkdir -p "$out"
  local script="
    (let* ((q (gimp-plugins-query \"\"))
           (port (open-output-file \"$out/plugins.txt\")))
      (for-each (lambda (name menu location)
                  (display name port) (display \"|\" port) (display menu port)
                  (display \"|\" port) (display location port) (newline port))
                (list-ref q 11) (list-ref q 1) (list-ref q 5))
      (close-output-port port))
    (define (filtered name call)
      (let* ((img (car (gimp-file-load RUN-NONINTERACTIVE \"$photo\" \"chelsea.png\")))
             (layer (car (gimp-image-get-active-layer img))))
        (call img layer)
        (file-png-save-defaults RUN-NONINTERACTIVE img layer
                                (string-append \"$out/\" name \".png\") name)
        (gimp-image-delete img)))
    (filtered \"ostrel\" (lambda (img layer)
      (ostrel RUN-NONINTERACTIVE img layer 3.0 0.0 0.0 0.0 3000.0 0 30.0 1 3 10 10)))
    (filtered \"vareknoise2\" (lambda (img layer)
      (plug-in-vareknoise2-0-64 RUN-NONINTERACTIVE img layer 5 1 1 0.13 2 1.4 5 2 0 0.25)))
    (filtered \"tessaline\" (lambda (img layer)
      (plug-in-tessaline RUN-NONINTERACTIVE img layer 15 10 20)))"
  gimp_batch "$home" "$script" || { grep -v '^\s*$' "$scratch/gimp.log"; fail "the GIMP run failed"; }

  # Canonical names, menu paths without mnemonics, and the program in the
  # user's profile.
  local name menu program
  while IFS='|' read -r name menu program; do
    grep -qxF "$name|$menu|$profile/plug-ins/$program" "$out/plugins.txt" 2>/dev/null || {
      fail "GIMP does not list $name with menu $menu from $profile/plug-ins/$program"
      grep -iE 'ostrel|vareknoise|tessaline' "$out/plugins.txt" 2>/dev/null; }
  done <<'LIST'
ostrel|<Image>/Photo/A/Refocus...|ostrel/ostrel
plug-in-vareknoise2-0-64|<Image>/Photo/B/Noise/Varek Noise 2 0.64 ...|vareknoise2/vareknoise2
plug-in-tessaline|<Image>/Photo/B/Noise/Film Grain Remover|tessaline/tessaline
LIST
  # The refocus plug-in registered the catalogue and help of its own folder
  # (GIMP keeps them in the profile's pluginrc, the profile as ${gimp_dir}).
  grep -qE "\(locale-def \"ostrel\" \"(\\\$\{gimp_dir\}|$profile)/plug-ins/ostrel/locale\"\)" \
    "$profile/pluginrc" || fail "ostrel did not register the catalogue in its folder: $(grep -h 'locale-def "ostrel"' "$profile/pluginrc")"
  grep -qF "(help-def \"https://corvella.example.org/help/ostrel\" \"file://$profile/plug-ins/ostrel/help\")" \
    "$profile/pluginrc" || fail "ostrel did not register the help in its folder: $(grep -h 'help-def' "$profile/pluginrc")"

  # Each filter changed the photograph and kept its size.
  local f changed
  for f in ostrel vareknoise2 tessaline; do
    if [ ! -s "$out/$f.png" ]; then fail "$f wrote no image"; continue; fi
    [ "$(identify -format '%wx%h' "$out/$f.png")" = "$(identify -format '%wx%h' "$photo")" ] \
      || fail "$f changed the image size"
    changed=$(compare -metric AE "$photo" "$out/$f.png" null: 2>&1)
    [ "${changed%%.*}" -gt 0 ] 2>/dev/null || fail "$f left the photograph unchanged ($changed)"
    echo "$f: $changed of $(identify -format '%[fx:w*h]' "$photo") pixels changed"
  done

  HOME=$home "$install" uninstall-user \
    > "$scratch/uninstall.log" 2>&1 || { cat "$scratch/uninstall.log"; fail "uninstall-user failed"; }
  listing "$profile/plug-ins" > "$scratch/after"
  diff "$scratch/before" "$scratch/after" || fail "uninstall-user left the plug-in folder changed"
  [ ! -e "$profile/corvella-installed.txt" ] || fail "the manifest is still there"
}

case_layouts() {
  local home=$scratch/home

  # Profile under XDG_CONFIG_HOME, made by the install itself: the
  # uninstall removes it again, with the folders above it it made.
  mkdir -p "$home/cfg"
  HOME=$home XDG_CONFIG_HOME=$home/cfg "$install" install-user "$tree" > /dev/null \
    || fail "install-user under XDG_CONFIG_HOME failed"
  check_user_install "$home/cfg/GIMP/2.10"
  # A second install over the first keeps one record of each file.
  HOME=$home XDG_CONFIG_HOME=$home/cfg "$install" install-user "$tree" > /dev/null \
    || fail "reinstall failed"
  [ "$(sort "$home/cfg/GIMP/2.10/corvella-installed.txt" | uniq -d)" = "" ] \
    || fail "the manifest repeats entries after a reinstall"
  HOME=$home XDG_CONFIG_HOME=$home/cfg "$install" uninstall-user > /dev/null \
    || fail "uninstall-user under XDG_CONFIG_HOME failed"
  [ "$(listing "$home")" = "$(printf '%s\n' 'd .' 'd ./cfg')" ] \
    || { fail "uninstall-user left something behind:"; listing "$home"; }

  # A relative GIMP2_DIRECTORY is read relative to the home folder, as
  # GIMP reads it; a file of the user's own beside ours stays.
  HOME=$home GIMP2_DIRECTORY=my-gimp "$install" install-user "$tree" > /dev/null \
    || fail "install-user into GIMP2_DIRECTORY failed"
  check_user_install "$home/my-gimp"
  echo "mine" > "$home/my-gimp/plug-ins/notes.txt"
  HOME=$home GIMP2_DIRECTORY=my-gimp "$install" uninstall-user > /dev/null 2> "$scratch/err" \
    || fail "uninstall-user from GIMP2_DIRECTORY failed"
  [ "$(listing "$home/my-gimp")" = "$(printf '%s\n' 'd .' 'd ./plug-ins' 'f ./plug-ins/notes.txt')" ] \
    || { fail "uninstall-user did not remove exactly its own files:"; listing "$home/my-gimp"; }
  grep -q "kept $home/my-gimp/plug-ins" "$scratch/err" || fail "the kept folder was not named"
  rm -rf "$home/my-gimp"

  # System-wide under a scratch prefix, as `make install DESTDIR=...` does:
  # make exports DESTDIR, which is already part of the root.
  local root=$scratch/stage/usr
  mkdir -p "$scratch/destdir"
  DESTDIR=$scratch/destdir "$install" install "$tree" "$root" > /dev/null || fail "system install failed"
  [ -z "$(ls -A "$scratch/destdir")" ] || { fail "the install wrote under \$DESTDIR again:"; listing "$scratch/destdir"; }
  rmdir "$scratch/destdir"
  for f in lib/gimp/2.0/plug-ins/ostrel/ostrel lib/gimp/2.0/plug-ins/vareknoise2/vareknoise2 \
           lib/gimp/2.0/plug-ins/tessaline/tessaline share/locale/de/LC_MESSAGES/ostrel.mo \
           share/ostrel/help/en/filters/ostrelhelp.html share/corvella/installed-files.txt; do
    [ -f "$root/$f" ] || fail "system install lacks $root/$f"
  done
  [ ! -e "$root/plug-ins" ] || fail "system install holds the profile layout"
  "$install" uninstall "$root" > /dev/null || fail "system uninstall failed"
  [ ! -e "$scratch/stage" ] || { fail "system uninstall left something behind:"; listing "$scratch/stage"; }

  # Refusals: each names its reason and changes nothing.
  mkdir -p "$scratch/empty-tree"
  if HOME=$home "$install" install-user "$scratch/empty-tree" > /dev/null 2> "$scratch/err"; then
    fail "install-user from an unbuilt tree succeeded"
  fi
  grep -q "not a configured build tree" "$scratch/err" || fail "no reason for the unbuilt tree: $(cat "$scratch/err")"
  [ "$(listing "$home")" = "$(printf '%s\n' 'd .' 'd ./cfg')" ] || fail "a refused install wrote files"

  if HOME=$home "$install" uninstall-user > /dev/null 2> "$scratch/err"; then
    fail "uninstall-user with nothing installed succeeded"
  fi
  grep -q "nothing to remove" "$scratch/err" || fail "no reason when nothing is installed"

  "$install" install "$tree" "$root" > /dev/null || fail "system install failed"
  local manifest=$root/share/corvella/installed-files.txt
  cp "$manifest" "$scratch/manifest.good"
  local bad
  for bad in 'f ../../outside' 'f /etc/passwd' 'x lib' 'f lib//gimp'; do
    cp "$scratch/manifest.good" "$manifest"
    echo "$bad" >> "$manifest"
    listing "$root" > "$scratch/before"
    if "$install" uninstall "$root" > /dev/null 2> "$scratch/err"; then
      fail "a manifest with '$bad' was accepted"
    fi
    listing "$root" | diff -q "$scratch/before" - > /dev/null || fail "a manifest with '$bad' removed files"
    grep -q "bad entry" "$scratch/err" || fail "no reason for '$bad'"
  done
  cp "$scratch/manifest.good" "$manifest"
  "$install" uninstall "$root" > /dev/null || fail "system uninstall failed"
  [ ! -e "$scratch/stage" ] || fail "system uninstall left something behind"

  if "$install" frobnicate > /dev/null 2>&1; [ $? -ne 2 ]; then
    fail "bad usage does not exit with status 2"
  fi
}

case "$case_" in
  user) case_user ;;
  layouts) case_layouts ;;
  *) echo "install-test.sh: unknown case $case_" >&2; exit 2 ;;
esac
[ $status = 0 ] && echo "PASS: $case_"
exit $status
