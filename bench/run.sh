#!/usr/bin/env bash
# The benchmark: builds the tool with the benchmark's programs, takes every measurement in one Wine
# session (one prefix, one virtual display), prints the findings and writes bench/REPORT.md.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=$root/build/bench
report=$root/bench/REPORT.md
began=$(date +%s)

# Shows a log and fails when a step fails; Wine's and the build's chatter stays in files.
run_logged() {
  local log=$1
  shift
  "$@" >"$log" 2>&1 </dev/null || {
    cat "$log" >&2
    echo "bench: failed: $*" >&2
    exit 1
  }
}

# A Unix path as Wine's drive Z: shows it.
windows_path() {
  local path
  path=$(readlink -f "$1")
  echo "Z:${path//\//\\}"
}

bash scripts/setup.sh
mkdir -p "$build"
echo "bench: building in $build"
run_logged "$build/configure.log" cmake --preset windows -B "$build" \
  -DQUILLMARK_BENCH=ON
run_logged "$build/build.log" cmake --build "$build" --target bench_harness -j "$(nproc)"
# shellcheck source=/dev/null
. "$build/bench-programs.sh"

machine_table() {
  local cpu memory system
  cpu=$(grep -m1 '^model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
  memory=$(awk '/^MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo)
  system=$(. /etc/os-release && echo "$PRETTY_NAME")
  echo "| Machine | |"
  echo "|---|---|"
  echo "| Processors (nproc) | $(nproc) |"
  echo "| CPU | ${cpu:-unknown} |"
  echo "| Memory | $memory |"
  echo "| System | $system, Linux $(uname -r) |"
  echo "| Wine | $(wine --version), 32-bit prefix, Xvfb, no window manager |"
}
machine=$(machine_table)

echo "bench: starting the Wine session"
trap 'bash cmake/wine-session.sh stop "$build" >/dev/null 2>&1 || true' EXIT
run_logged "$build/session.log" bash cmake/wine-session.sh start "$build"
# shellcheck source=/dev/null
. "$build/wine/env.sh"

echo "bench: measuring (about a minute)"
results=$build/bench-results.md
rm -f "$results"
run_logged "$build/harness.log" wine "$harness" \
  --tool "$(windows_path "$tool")" \
  --floor-window "$(windows_path "$floor_window")" \
  --floor-com "$(windows_path "$floor_com")" \
  --floor-box "$(windows_path "$floor_box")" \
  --peer-script "$(windows_path "$root/bench/peer.vbs")" \
  --out "$(windows_path "$results")" \
  --warmups 2 --runs 25 --soak 200

{
  echo "# Benchmark"
  echo
  echo "Taken by \`bench/run.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC'), in one Wine prefix and one"
  echo "virtual display; the tool, the floors and the harness were built by the same mingw-w64"
  echo "toolchain (\`cmake/mingw-i686.toolchain.cmake\`, MinSizeRel)."
  echo
  echo "$machine"
  echo
  cat "$results"
} >"$report"
cat "$results"
echo "bench: report written to $report ($(($(date +%s) - began)) s in all)"
