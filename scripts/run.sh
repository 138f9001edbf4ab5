#!/usr/bin/env bash
# Builds the program and runs it under Wine: on your display when there is one; otherwise on a
# private virtual display, where it looks up this computer once, prints the result and saves
# screenshots of the window and of the result box (docs/window.png, docs/result.png).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
cmake --preset windows >/dev/null
build=$root/build/windows
program="$build/shell/Ambrel Quillmark Lookup Tool.exe"

if [ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ]; then
  cmake --build --preset windows --target lookup_tool
  # A prefix of the program's own, so that the user's default one is left alone.
  export WINEPREFIX="$build/run/prefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
  mkdir -p "$build/run"
  exec wine "$program"
fi

echo "No display: running the program on a private virtual display." >&2
cmake --build --preset windows --target lookup_tool headless_demo
session=$build/run-headless
mkdir -p "$session"
trap 'bash cmake/wine-session.sh stop "$session"' EXIT
bash cmake/wine-session.sh start "$session" >&2
pictures=$session/pictures
mkdir -p "$pictures"
QUILLMARK_WINE_SESSION=$session/wine "$build/wine-run.sh" "$build/tests/demo/headless_demo.exe" \
  "Z:${pictures//\//\\}"
mkdir -p docs
for picture in window result; do
  convert "$pictures/$picture.bmp" "docs/$picture.png"
  echo "Saved docs/$picture.png" >&2
done
