#!/usr/bin/env bash
# Starts or stops the Wine session that a build's tests run in: a private prefix of the build's
# architecture inside the folder, a settled Wine server and a private virtual display. The session
# lives in FOLDER/wine.
#   wine-session.sh start FOLDER win32|win64      wine-session.sh stop FOLDER
set -euo pipefail
# shellcheck source=cmake/wine-arch.sh
. "$(dirname "$(readlink -f "$0")")/wine-arch.sh"
action=$1
state=$(readlink -f "$2")/wine
prefix=$state/prefix

stop() {
  if [ -f "$state/env.sh" ]; then
    # shellcheck source=/dev/null
    . "$state/env.sh"
    "$WINESERVER" -k >/dev/null 2>&1 || true
  fi
  if [ -f "$state/xvfb.pid" ]; then
    kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
    rm -f "$state/xvfb.pid"
  fi
}

# Xvfb picks a free display number itself and tells it through a file descriptor, so that sessions
# that start at the same moment never share one.
start_display() {
  local number_file=$state/xvfb.display
  rm -f "$number_file"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$number_file" >"$state/xvfb.log" 2>&1 </dev/null &
  echo $! >"$state/xvfb.pid"
  for _ in $(seq 200); do
    [ -s "$number_file" ] && break
    sleep 0.05
  done
  [ -s "$number_file" ] || { echo "Xvfb did not start" >&2; return 1; }
  echo ":$(tr -d '[:space:]' <"$number_file")"
}

make_prefix() {
  local log=$state/wineboot.log
  rm -rf "$prefix"
  "$WINELOADER" wineboot -i >"$log" 2>&1 </dev/null || {
    cat "$log" >&2
    echo "wineboot failed for a $WINEARCH prefix" >&2
    return 1
  }
  # Let Wine draw window frames itself: with no window manager, closing a managed window stalls.
  wine_reg_add "$log" 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N
  # A crash must end the process rather than wait on a dialog nobody will answer.
  wine_reg_add "$log" 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0
  "$WINESERVER" -w
  # Window frames draw their caption buttons (the close box's cross) with the Marlett font. This
  # Wine does not load the fonts of its own data folder, so without this copy a plain "r" stands
  # in for the cross.
  cp /usr/share/wine/fonts/marlett.ttf "$prefix/drive_c/windows/Fonts/"
  touch "$prefix/.ready"
}

case "$action" in
  start)
    arch_exports=$(wine_arch_exports "${3:?the architecture: win32 or win64}")
    stop
    mkdir -p "$state/logs"
    display=$(start_display)
    cat >"$state/env.sh" <<ENV
export WINEPREFIX='$prefix' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' DISPLAY='$display'
$arch_exports
ENV
    # shellcheck source=/dev/null
    . "$state/env.sh"
    [ -f "$prefix/.ready" ] || make_prefix
    # A persistent server with its output in a file, so that no test's pipe is held open by it;
    # one query of the management service settles its services before the first timed test.
    "$WINESERVER" -p >"$state/wineserver.log" 2>&1 </dev/null
    "$WINELOADER" wmic bios get serialnumber >"$state/warmup.log" 2>&1 </dev/null || true
    echo "Wine session ready: $WINEARCH prefix $prefix, display $display"
    ;;
  stop)
    stop
    ;;
  *)
    echo "usage: $0 start FOLDER win32|win64 | stop FOLDER" >&2
    exit 2
    ;;
esac
