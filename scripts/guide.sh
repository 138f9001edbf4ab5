#!/usr/bin/env bash
# Writes the README's troubleshooting table afresh from the program's own descriptions and hints
# (a native test fails whenever the two differ).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
cmake --preset native >/dev/null
cmake --build --preset native --target print_troubleshooting_table >/dev/null
next=$(mktemp)
trap 'rm -f "$next"' EXIT
build/native/tools/print_troubleshooting_table README.md >"$next"
if cmp -s "$next" README.md; then
  echo "README.md: the troubleshooting table is up to date"
else
  cp "$next" README.md
  echo "README.md: the troubleshooting table was written afresh"
fi
