#!/usr/bin/env bash
# The benchmark: builds the tool with the benchmark's programs, takes every measurement in one Wine
# session (one prefix, one virtual display), writes bench/REPORT.md (REPORT-x64.md for the 64-bit
# build) through bench/report.py; then runs the companion's fleet benchmark (bench/fleet.sh,
# bench/FLEET.md) and the inventory's (bench/inventory.sh, its section of bench/FLEET.md).
# The 32-bit build is measured where the host executes 32-bit code, the 64-bit one elsewhere.
# BENCH_RUNS (25) and BENCH_SOAK (200 lookups) can be made smaller for a trial.
# shellcheck disable=SC2154 # the programs' paths are set by the build's bench-programs.sh
set -euo pipefail
# shellcheck source=bench/common.sh
. "$(dirname "$0")/common.sh"
began=$(date +%s)

choose_build
report=$report_dir/REPORT$report_suffix.md
build_bench_targets bench_harness

echo "bench: starting the Wine session"
trap 'bash cmake/wine-session.sh stop "$build" >/dev/null 2>&1 || true' EXIT
run_logged "$build/session.log" bash cmake/wine-session.sh start "$build" "$arch"
# shellcheck source=/dev/null
. "$build/wine/env.sh"

echo "bench: measuring (about a minute)"
figures=$build/bench-figures.csv
rm -f "$figures"
load_before=$(load_average)
run_logged "$build/harness.log" "$WINELOADER" "$harness" \
  --tool "$(windows_path "$tool")" \
  --floor-window "$(windows_path "$floor_window")" \
  --floor-manifest "$(windows_path "$floor_manifest")" \
  --floor-com "$(windows_path "$floor_com")" \
  --floor-box "$(windows_path "$floor_box")" \
  --peer-script "$(windows_path "$root/bench/peer.vbs")" \
  --out "$(windows_path "$figures")" \
  --warmups 2 --runs "${BENCH_RUNS:-25}" --soak "${BENCH_SOAK:-200}"
machine_facts
python3 bench/report.py bench "$figures" >"$report"
cat "$report"
echo "bench: report written to $report ($(($(date +%s) - began)) s in all)"
bash cmake/wine-session.sh stop "$build" >/dev/null 2>&1 || true
bash bench/fleet.sh
bash bench/inventory.sh
