# Wine for one kind of Windows program, sourced by the scripts that run
# them.  Debian's /usr/bin/wine and /usr/bin/wineserver pick a loader and a
# server by what is installed, not by the program; these helpers name both
# explicitly, so a 32-bit program never meets a 64-bit prefix or server and
# hosts with and without 32-bit support behave alike.
wine_lib=${CORVELLA_WINE_LIB:-/usr/lib/wine}  # the override is for tests

# pe_bits FILE: prints 32 for a PE32 image, 64 for PE32+; fails otherwise.
pe_bits() {
  local offset magic
  offset=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ') || return 1
  [ -n "$offset" ] || return 1
  magic=$(od -An -tx2 -j$((offset + 24)) -N2 "$1" 2>/dev/null | tr -d ' ') || return 1
  case "$magic" in
    010b) echo 32 ;;
    020b) echo 64 ;;
    *) return 1 ;;
  esac
}

# wine_use BITS: exports WINEARCH, WINELOADER and WINESERVER for 32 or 64.
wine_use() {
  case "$1" in
    32) WINEARCH=win32 WINELOADER=$wine_lib/wine WINESERVER=$wine_lib/wineserver32 ;;
    64) WINEARCH=win64 WINELOADER=$wine_lib/wine64 WINESERVER=$wine_lib/wineserver64 ;;
    *) return 1 ;;
  esac
  export WINEARCH WINELOADER WINESERVER
}

# wine_can_run BITS: whether this host runs that wine, found by executing its
# loader and server (a kernel without IA-32 emulation refuses the 32-bit
# ones with "Exec format error"), never by the names that are installed.
wine_can_run() {
  (
    wine_use "$1" || exit 1
    [ -x "$WINELOADER" ] && [ -x "$WINESERVER" ] || exit 1
    timeout 30 "$WINESERVER" --version >/dev/null 2>&1 &&
      timeout 30 "$WINELOADER" --version >/dev/null 2>&1
  )
}
