#!/usr/bin/env bash
# The benchmark: builds the tool with the benchmark's programs, takes every measurement in one Wine
# session (one prefix, one virtual display), prints the findings and writes bench/REPORT.md
# (REPORT-x64.md for the 64-bit build); then runs the companion's fleet benchmark (bench/fleet.sh,
# bench/FLEET.md).
# The 32-bit build is measured where the host executes 32-bit code, the 64-bit one elsewhere.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# shellcheck source=bench/common.sh
. bench/common.sh
began=$(date +%s)

bash scripts/setup.sh
choose_build
report=$root/bench/REPORT$report_suffix.md
build_bench_targets bench_harness

echo "bench: starting the Wine session"
trap 'bash cmake/wine-session.sh stop "$build" >/dev/null 2>&1 || true' EXIT
run_logged "$build/session.log" bash cmake/wine-session.sh start "$build" "$arch"
# shellcheck source=/dev/null
. "$build/wine/env.sh"

echo "bench: measuring (about a minute)"
results=$build/bench-results.md
rm -f "$results"
load_before=$(load_average)
run_logged "$build/harness.log" "$WINELOADER" "$harness" \
  --tool "$(windows_path "$tool")" \
  --floor-window "$(windows_path "$floor_window")" \
  --floor-manifest "$(windows_path "$floor_manifest")" \
  --floor-com "$(windows_path "$floor_com")" \
  --floor-box "$(windows_path "$floor_box")" \
  --peer-script "$(windows_path "$root/bench/peer.vbs")" \
  --out "$(windows_path "$results")" \
  --warmups 2 --runs 25 --soak 200
machine_facts=$(machine_table)

{
  echo "# Benchmark"
  echo
  echo "Taken by \`bench/run.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC'): the $bits-bit build ($machine),"
  echo "measured in one $arch Wine prefix and one virtual display. The tool, the floors and the"
  echo "harness were built as $machine programs by the same mingw-w64 toolchain"
  echo "(\`$toolchain\`, MinSizeRel). Whatever else the machine runs meanwhile"
  echo "adds noise to the times; the load average below shows how busy it was. The command-line"
  echo "companion's fleet benchmark, run next by \`bench/fleet.sh\`, is in [FLEET$report_suffix.md](FLEET$report_suffix.md)."
  echo
  echo "$machine_facts"
  echo
  cat "$results"
} >"$report"
cat "$results"
echo "bench: report written to $report ($(($(date +%s) - began)) s in all)"
bash cmake/wine-session.sh stop "$build" >/dev/null 2>&1 || true
bash bench/fleet.sh
