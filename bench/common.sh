# What the benchmark's scripts (bench/run.sh, bench/fleet.sh, bench/reach.sh) share: the build they
# measure, how they run a step, time a command and record a figure, and the machine they ran on.
# Sourced first: it makes the repository's root the working folder. Each script writes its raw figures as rows of kind,key,value
# to one CSV file; bench/report.py turns them into the report. BENCH_REPORT_DIR (bench/) is where
# the reports go: a trial run at small sizes writes them elsewhere.
# shellcheck shell=bash disable=SC2034,SC2154 # set here for the scripts, and by them for it
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root" || exit 1
# shellcheck source=scripts/host.sh
. scripts/host.sh
report_dir=${BENCH_REPORT_DIR:-$root/bench}

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

# Installs what the benchmark needs, then picks the build to measure: the 32-bit one where the host executes 32-bit code, the 64-bit one
# elsewhere. Sets preset, arch, machine, bits and build, and report_suffix: the reports of the
# 32-bit build are bench/REPORT.md and bench/FLEET.md, those of the 64-bit one end in -x64, so that
# the figures of both builds stand side by side.
choose_build() {
  bash scripts/setup.sh
  if host_runs_32bit_code; then
    preset=windows arch=win32 machine=x86 bits=32 build=$root/build/bench report_suffix=
    echo "bench: measuring the 32-bit build (x86, win32 prefix)" >&2
  else
    preset=windows64 arch=win64 machine=x64 bits=64 build=$root/build/bench64 report_suffix=-x64
    echo "bench: measuring the 64-bit build (x64, win64 prefix): $(host_32bit_reason)" >&2
  fi
}

# Configures the chosen build with the benchmark's programs, builds the targets named and reads
# where the programs are. Sets toolchain (the toolchain file, relative to the repository), revision
# (the commit, and any edits outside bench/ built with it) and default_parallel (the companion's
# own, used by a run without --parallel).
build_bench_targets() {
  mkdir -p "$build"
  echo "bench: building in $build"
  run_logged "$build/configure.log" cmake --preset "$preset" -B "$build" -DQUILLMARK_BENCH=ON
  toolchain=$(sed -n 's/^CMAKE_TOOLCHAIN_FILE:[A-Z]*=//p' "$build/CMakeCache.txt")
  toolchain=${toolchain#"$root"/}
  run_logged "$build/build.log" cmake --build "$build" --target "$@" -j "$(nproc)"
  # shellcheck source=/dev/null
  . "$build/bench-programs.sh"
  revision=$(git rev-parse --short HEAD)
  local edits
  edits=$(git status --porcelain --untracked-files=no -- . ':!bench' ':!README.md' | cut -c4- | paste -sd' ')
  [ -z "$edits" ] || revision="$revision, with uncommitted changes to $edits"
  default_parallel=$(sed -n 's/.*kDefaultParallel = \([0-9]*\);.*/\1/p' companion/command_line.h)
}

# Starts the stand-in's own Wine session in the folder SESSION, with the stand-in service
# registered for "winmgmts:", answering as the script SCRIPT says; stops it when the script ends.
# Makes SESSION/runs, empty, for the runs' lists and outputs.
#   standin_session SESSION SCRIPT
standin_session() {
  session=$1 work=$1/runs
  mkdir -p "$session"
  trap 'bash tests/standin/standin-session.sh stop "$session" >/dev/null 2>&1 || true' EXIT
  run_logged "$session/session.log" bash tests/standin/standin-session.sh start "$session" "$arch" \
    "$standin_service"
  # shellcheck source=/dev/null
  . "$session/wine/env.sh"
  rm -rf "$work"
  mkdir -p "$work/out" "$work/probe" "$work/hyperfine"
  cp "$2" "$work/standin.script"
  STANDIN_SCRIPT=$(windows_path "$work/standin.script")
  export STANDIN_SCRIPT
}

# A row of the figures file: kind,key,value, the value quoted as CSV quotes it.
#   figure KIND KEY VALUE
figure() { printf '%s,%s,"%s"\n' "$1" "$2" "${3//\"/\"\"}" >>"$figures"; }

# The facts every report opens with: when, which build, and the machine (load_before is the load
# average when measuring began).
machine_facts() {
  figure fact date "$(date -u '+%Y-%m-%d %H:%M UTC')"
  figure fact bits "$bits"
  figure fact arch "$arch"
  figure fact machine "$machine"
  figure fact suffix "$report_suffix"
  figure fact toolchain "$toolchain"
  figure fact revision "$revision"
  figure fact default_parallel "$default_parallel"
  figure fact nproc "$(nproc)"
  figure fact cpu "$(grep -m1 '^model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
  figure fact memory "$(awk '/^MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo)"
  figure fact system "$(. /etc/os-release && echo "$PRETTY_NAME"), Linux $(uname -r)"
  figure fact wine "$("$WINELOADER" --version)"
  figure fact load_before "$load_before"
  figure fact load_after "$(load_average)"
}

# A command line for the shell that hyperfine starts, each word quoted for it.
shell_line() { printf "'%s' " "$@"; }

# Times the command lines named under hyperfine, RUNS runs each, into the JSON file EXPORT. Each
# run of a quillmark line writes its output to a file of its own, WORK/out/NAME-*, which
# bench/report.py checks; the exit codes are checked there too, so a failing run is timed as well.
#   timed EXPORT RUNS NAME LINE [NAME LINE...]
timed() {
  local export=$1 runs=$2 commands=()
  shift 2
  while [ $# -gt 0 ]; do
    commands+=(-n "$1" "$2 >\"\$(mktemp '$work/out/$1-XXXXXX')\" 2>/dev/null")
    shift 2
  done
  run_logged "$export.log" hyperfine --style basic --ignore-failure --runs "$runs" \
    --export-json "$export" "${commands[@]}"
}

# quillmark's command line for a list of names, with any further options.
#   quillmark_line NAMES [OPTION...]
quillmark_line() {
  local names=$1
  shift
  shell_line "$WINELOADER" "$(windows_path "$quillmark")" --quiet --format csv "$@" "@$(windows_path "$names")"
}
