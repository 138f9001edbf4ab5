# Which Wine runs a build of which architecture; sourced by the scripts that start Wine.
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
