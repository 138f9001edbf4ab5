# Which Wine runs a build of which architecture, and how a key goes into a prefix's registry;
# sourced by the scripts that start Wine.
# A 32-bit build runs in a win32 prefix on the 32-bit loader; a 64-bit build in a win64 prefix on
# the 64-bit loader, called directly: Debian's `wine` wrapper picks the 32-bit loader whenever it
# is installed. Both use the 64-bit server, which serves either kind of process.

# Prints the variables that run Wine for ARCH (win32 or win64), as shell exports.
wine_arch_exports() {
  case "$1" in
    win32) echo "export WINEARCH=win32 WINELOADER=/usr/lib/wine/wine WINESERVER=/usr/lib/wine/wineserver64" ;;
    win64) echo "export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64" ;;
    *)
      echo "unknown Wine architecture: $1 (win32 or win64)" >&2
      return 2
      ;;
  esac
}

# Adds a registry key (the arguments of `reg add`, without /f) with $WINELOADER, its output
# appended to LOG. Wine now and then fails to start a program in a prefix that is still settling
# ("Application could not be started"), so the key is tried again a few times; the last failure
# prints LOG.
#   wine_reg_add LOG KEY [ARGUMENT...]
wine_reg_add() {
  local log=$1 attempt
  shift
  for attempt in 1 2 3 4 5; do
    "$WINELOADER" reg add "$@" /f >>"$log" 2>&1 && return 0
    sleep "$attempt"
  done
  cat "$log" >&2
  return 1
}
