#!/usr/bin/env bash
# Builds both presets and runs every test: native (with sanitizers) and Windows (under Wine).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs=$(nproc)
for preset in native windows; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done
status=0
for preset in native windows; do
  echo "== $preset tests"
  ctest --preset "$preset" || status=1
done
exit $status
