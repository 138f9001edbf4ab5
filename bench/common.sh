# What the benchmark's scripts (bench/run.sh, bench/fleet.sh) share: the build they measure, how
# they run a step, and the machine they ran on. Sourced from the repository's root.
# shellcheck source=scripts/host.sh
. scripts/host.sh

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

# The one-minute load average: the benchmark shares the machine with whatever else runs on it.
load_average() { cut -d' ' -f1 /proc/loadavg; }

# Picks the build to measure: the 32-bit one where the host executes 32-bit code, the 64-bit one
# elsewhere. Sets preset, arch, machine, bits and build, and report_suffix: the reports of the
# 32-bit build are bench/REPORT.md and bench/FLEET.md, those of the 64-bit one end in -x64, so that
# the figures of both builds stand side by side.
choose_build() {
  if host_runs_32bit_code; then
    preset=windows arch=win32 machine=x86 bits=32 build=$root/build/bench report_suffix=
    echo "bench: measuring the 32-bit build (x86, win32 prefix)" >&2
  else
    preset=windows64 arch=win64 machine=x64 bits=64 build=$root/build/bench64 report_suffix=-x64
    echo "bench: measuring the 64-bit build (x64, win64 prefix): $(host_32bit_reason)" >&2
  fi
}

# Configures the chosen build with the benchmark's programs, builds the targets named and reads
# where the programs are. Sets toolchain: the toolchain file, relative to the repository.
build_bench_targets() {
  mkdir -p "$build"
  echo "bench: building in $build"
  run_logged "$build/configure.log" cmake --preset "$preset" -B "$build" -DQUILLMARK_BENCH=ON
  toolchain=$(sed -n 's/^CMAKE_TOOLCHAIN_FILE:[A-Z]*=//p' "$build/CMakeCache.txt")
  toolchain=${toolchain#"$root"/}
  run_logged "$build/build.log" cmake --build "$build" --target "$@" -j "$(nproc)"
  # shellcheck source=/dev/null
  . "$build/bench-programs.sh"
}

# The machine, as a Markdown table; load_before is the load average when measuring began.
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
