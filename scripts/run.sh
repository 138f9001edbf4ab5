#!/usr/bin/env bash
# Builds the program and runs it under Wine: on your display when there is one; otherwise on a
# private virtual display, where it looks up this computer once, prints the result and saves
# screenshots of the window and of the result box (docs/window.png, docs/result.png).
# The 32-bit program runs where the host executes 32-bit code, the 64-bit one elsewhere.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
# shellcheck source=scripts/host.sh
. scripts/host.sh
# shellcheck source=cmake/wine-arch.sh
. cmake/wine-arch.sh

preset=windows arch=win32
if ! host_runs_32bit_code; then
  preset=windows64 arch=win64
  echo "Running the 64-bit program: $(host_32bit_reason)." >&2
fi
cmake --preset "$preset" >/dev/null
build=$root/build/$preset
program="$build/shell/Ambrel Quillmark Lookup Tool.exe"

if [ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ]; then
  cmake --build --preset "$preset" --target lookup_tool
  # A prefix of the program's own, so that the user's default one is left alone.
  eval "$(wine_arch_exports "$arch")"
  export WINEPREFIX="$build/run/prefix" WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
  mkdir -p "$build/run"
  exec "$WINELOADER" "$program"
fi

echo "No display: running the program on a private virtual display." >&2
cmake --build --preset "$preset" --target lookup_tool headless_demo standin_service >&2
session=$build/run-headless
offline=$build/run-offline
mkdir -p "$session" "$offline"
trap 'bash cmake/wine-session.sh stop "$session"; bash tests/standin/standin-session.sh stop "$offline"' EXIT
bash cmake/wine-session.sh start "$session" "$arch" >&2
pictures=$session/pictures
mkdir -p "$pictures"
QUILLMARK_WINE_SESSION=$session/wine "$build/wine-run.sh" "$build/tools/headless_demo.exe" \
  "Z:${pictures//\//\\}"

# The failure report as an administrator meets it most, for a computer that is switched off: a
# stand-in management service answers "offline-pc" with the platform's "RPC server unavailable".
bash tests/standin/standin-session.sh start "$offline" "$arch" \
  "$build/tests/standin/standin_service.dll" >"$offline/session.log"
printf 'computer\toffline-pc\nfail\tbind\t1\t800706BA\tcode\t\n' >"$offline/script.txt"
STANDIN_SCRIPT="Z:${offline//\//\\}\\script.txt" QUILLMARK_WINE_SESSION=$offline/wine \
  "$build/wine-run.sh" "$build/tools/headless_demo.exe" "Z:${pictures//\//\\}" offline-pc \
  report >/dev/null
mkdir -p docs
for picture in window result report; do
  convert "$pictures/$picture.bmp" "docs/$picture.png"
  echo "Saved docs/$picture.png" >&2
done
