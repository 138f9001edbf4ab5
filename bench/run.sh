#!/usr/bin/env bash
# The benchmark: builds the tool with the benchmark's programs, takes every measurement in one Wine
# session (one prefix, one virtual display), prints the findings and writes bench/REPORT.md.
# The 32-bit build is measured where the host executes 32-bit code, the 64-bit one elsewhere.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# shellcheck source=scripts/host.sh
. scripts/host.sh
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
if host_runs_32bit_code; then
  preset=windows arch=win32 machine=x86 bits=32 build=$root/build/bench
  echo "bench: measuring the 32-bit build (x86, win32 prefix)" >&2
else
  preset=windows64 arch=win64 machine=x64 bits=64 build=$root/build/bench64
  echo "bench: measuring the 64-bit build (x64, win64 prefix): $(host_32bit_reason)" >&2
fi
mkdir -p "$build"
echo "bench: building in $build"
run_logged "$build/configure.log" cmake --preset "$preset" -B "$build" \
  -DQUILLMARK_BENCH=ON
# The toolchain file the build folder was configured with, relative to the repository.
toolchain=$(sed -n 's/^CMAKE_TOOLCHAIN_FILE:[A-Z]*=//p' "$build/CMakeCache.txt")
toolchain=${toolchain#"$root"/}
run_logged "$build/build.log" cmake --build "$build" --target bench_harness -j "$(nproc)"
# shellcheck source=/dev/null
. "$build/bench-programs.sh"

# The one-minute load average: the benchmark shares the machine with whatever else runs on it.
load_average() { cut -d' ' -f1 /proc/loadavg; }

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
  echo "| Wine | $("$WINELOADER" --version), $bits-bit prefix ($WINEARCH), Xvfb, no window manager |"
  echo "| Load average (1 min) before and after measuring | $load_before, $(load_average) |"
}

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
  echo "adds noise to the times; the load average below shows how busy it was."
  echo
  echo "$machine_facts"
  echo
  cat "$results"
} >"$report"
cat "$results"
echo "bench: report written to $report ($(($(date +%s) - began)) s in all)"
