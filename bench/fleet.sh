#!/usr/bin/env bash
# The companion's fleet benchmark: times quillmark.exe over many names that the stand-in service
# answers after scripted latencies, beside the ideal, beside itself at other parallelisms, beside
# itself reading every fact of --with over each transport, and beside a sequential cscript peer,
# counts the connections the stand-in saw, samples its private bytes, and writes bench/FLEET.md
# (FLEET-x64.md for the 64-bit build) through bench/report.py.
# It runs in the stand-in's own throwaway prefix, in a session folder of its own under the
# benchmark's build folder. The sizes can be made smaller for a trial: FLEET_ROUNDS (3) sets how
# many times each timed run is taken (the subjects' runs alternate within a round), FLEET_NAMES
# (1000) the names of the runs at a latency, FLEET_SCALE ("1000 10000 100000") the sizes whose
# cost a name is compared, the first and the last, and whose second gives the first-row run.
# shellcheck disable=SC2154 # the programs' paths are set by the build's bench-programs.sh
set -euo pipefail
# shellcheck source=bench/common.sh
. "$(dirname "$0")/common.sh"
rounds=${FLEET_ROUNDS:-3}
names=${FLEET_NAMES:-1000}
read -r -a scale <<<"${FLEET_SCALE:-1000 10000 100000}"
latency_ms=100 timeout_s=2 hold_timeout_s=5 sample_every_ms=250 serial=SN-fleet
began=$(date +%s)

choose_build
report=$report_dir/FLEET$report_suffix.md
build_bench_targets fleet_probe
# Every lookup of a host-* name answers after the same latency with one serial number; a hang-*
# name never answers; a fast-* name answers at once (what the lookups' own work costs).
script=$(mktemp)
printf 'computer\thost-*\ndelay\t%s\nmember\ttext\t%s\ncomputer\thang-*\nhang\ncomputer\tfast-*\nmember\ttext\t%s\n' \
  "$latency_ms" "$serial" "$serial" >"$script"
echo "fleet: starting the stand-in's Wine session"
standin_session "$build/fleet" "$script"
rm -f "$script"
figures=$work/figures.csv

# The lists: host-* names at the latency (five times as many to watch for growth, a tenth for the
# sequential run, a fifth for the peer), fast-* names for the scale, one name in 20 hanging, and a
# hung computer before names that answer at once.
seq -f 'host-%06g' $((5 * names)) >"$work/growth.txt"
head -n "$names" "$work/growth.txt" >"$work/names.txt"
head -n $((names / 5)) "$work/growth.txt" >"$work/peer.txt"
head -n $((names / 10)) "$work/growth.txt" >"$work/sequential.txt"
for n in "${scale[@]}"; do seq -f 'fast-%06g' "$n" >"$work/fast$n.txt"; done
head -n "$names" "$work/fast${scale[-1]}.txt" >"$work/fast.txt"
awk '{ print (NR % 20 == 0) ? "hang-" substr($0, 6) : $0 }' "$work/names.txt" >"$work/hang.txt"
{ echo hang-first; cat "$work/fast.txt"; } >"$work/hangfirst.txt"

line() { quillmark_line "$1" --reach-timeout 0 "${@:2}"; }
# The same, with the stand-in recording each connection the run makes (a binding or a session, a
# line each) to WORK/records/KEY.txt, across the rounds.
#   recorded_line KEY NAMES [OPTION...]
recorded_line() {
  local record=$work/records/$1.txt
  touch "$record"
  printf "STANDIN_RECORD='%s' STANDIN_RECORD_ONLY=connections %s" "$(windows_path "$record")" \
    "$(line "${@:2}")"
}
peer_line() { shell_line "$WINELOADER" cscript.exe //nologo "$(windows_path bench/fleet/peer.vbs)" "$(windows_path "$1")"; }
# A list of names that the run KEY was given, for bench/report.py to check its outputs against.
list() { figure list "$1" "$2"; }
# One run under the probe, which samples its private bytes every EVERY ms: its findings go to
# WORK/probe/KEY.txt, its output to WORK/out/KEY-run.
#   sampled KEY EVERY NAMES [OPTION...]
sampled() {
  local key=$1 every=$2 names=$3
  shift 3
  list "$key" "$names"
  "$WINELOADER" "$fleet_probe" "$(windows_path "$work/out/$key-run")" "$every" \
    "$(windows_path "$quillmark") --quiet --format csv --reach-timeout 0 $* @$(windows_path "$names")" \
    >"$work/probe/$key.raw" 2>"$work/probe/$key.err" </dev/null || {
    cat "$work/probe/$key.raw" "$work/probe/$key.err" >&2
    echo "fleet: the probe failed: $key" >&2
    exit 1
  }
  tr -d '\r' <"$work/probe/$key.raw" >"$work/probe/$key.txt"
}

echo "fleet: warming up the prefix"
# The first program that needs the desktop starts Wine's desktop process, which keeps that
# program's output file open until the session ends: every run writes a file of its own.
eval "$(line "$work/sequential.txt") >$work/warmup.csv" </dev/null
eval "$(peer_line "$work/sequential.txt") >$work/warmup-peer.txt" </dev/null

mapfile -t parallels < <(printf '%s\n' 8 16 64 128 256 "$default_parallel" | sort -gu)
load_before=$(load_average)
runs=()
for p in "${parallels[@]}"; do
  option=(--parallel "$p")
  [ "$p" = "$default_parallel" ] && option=()
  runs+=("p$p" "$(line "$work/names.txt" "${option[@]}")")
  list "p$p" "$work/names.txt"
done
runs+=(fast "$(line "$work/fast.txt")" peer "$(peer_line "$work/peer.txt")")
runs+=(quillmark_peer "$(line "$work/peer.txt")" hang "$(line "$work/hang.txt" --timeout "$timeout_s")")
# The serial alone against every fact beside it, over each transport, the connections counted.
mkdir -p "$work/records"
for protocol in dcom wsman; do
  runs+=("facts_${protocol}_serial" "$(recorded_line "facts_${protocol}_serial" "$work/names.txt" --protocol "$protocol")")
  runs+=("facts_${protocol}_all" "$(recorded_line "facts_${protocol}_all" "$work/names.txt" --protocol "$protocol" --with all)")
  list "facts_${protocol}_serial" "$work/names.txt"
  list "facts_${protocol}_all" "$work/names.txt"
done
list fast "$work/fast.txt"
list peer "$work/peer.txt"
list quillmark_peer "$work/peer.txt"
list hang "$work/hang.txt"
for round in $(seq "$rounds"); do
  echo "fleet: timed round $round of $rounds"
  timed "$work/hyperfine/round$round.json" 1 "${runs[@]}"
done
echo "fleet: one run at --parallel 1"
list p1 "$work/names.txt"
timed "$work/hyperfine/p1.json" 1 p1 "$(line "$work/names.txt" --parallel 1)"

# Sampling takes a walk of the address space each time, which costs the process measured: these
# runs are not timed. From the default up, the growth list gives the samples time to find the peak.
echo "fleet: private bytes at each parallelism, sampled"
for p in 1 "${parallels[@]}"; do
  list=$work/growth.txt
  [ "$p" -lt "$default_parallel" ] && list=$work/names.txt
  [ "$p" = 1 ] && list=$work/sequential.txt
  option=(--parallel "$p")
  [ "$p" = "$default_parallel" ] && option=()
  sampled "memory-p$p" "$sample_every_ms" "$list" "${option[@]}"
done
sampled memory-hang "$sample_every_ms" "$work/hang.txt" --timeout "$timeout_s"

# How the cost of a name and the memory grow with the list: instant answers, the default
# parallelism, one timed run of each size and one sampled run beside it.
echo "fleet: ${scale[*]} names that answer at once"
runs=()
for n in "${scale[@]}"; do
  runs+=("n$n" "$(line "$work/fast$n.txt")")
  list "n$n" "$work/fast$n.txt"
  # Sampling slows the process: about 50 samples whatever the size, none closer than 50 ms.
  sampled "scale-memory-n$n" $((n / 50 > 50 ? n / 50 : 50)) "$work/fast$n.txt"
done
timed "$work/hyperfine/scale.json" 1 "${runs[@]}"

# When rows appear: the output file is watched from outside Wine while quillmark writes it.
# Records "<s to the first row> <s to the end>" as the watch KEY.
#   watch_rows KEY NAMES [OPTION...]
watch_rows() {
  local key=$1 out=$work/watched-$1.csv start first='' end
  start=$(date +%s%N)
  "$WINELOADER" "$quillmark" --quiet --format csv --reach-timeout 0 "${@:3}" "@$(windows_path "$2")" \
    >"$out" 2>/dev/null </dev/null &
  local pid=$!
  while kill -0 "$pid" 2>/dev/null; do
    if [ -z "$first" ] && [ -s "$out" ] && [ "$(awk 'NR == 2 { print "row"; exit }' "$out")" = row ]; then
      first=$(date +%s%N)
    fi
    sleep 0.01
  done
  wait "$pid" || true
  end=$(date +%s%N)
  figure watch "$key" "$(awk -v s="$start" -v f="${first:-$end}" -v e="$end" \
    'BEGIN { printf "%.2f %.2f", (f - s) / 1e9, (e - s) / 1e9 }')"
}
echo "fleet: time to the first row, and a hung first computer"
timed "$work/hyperfine/help.json" "$rounds" help "$(line "$work/fast.txt" --help)"
watch_rows first_row "$work/fast${scale[1]}.txt"
watch_rows hang_first "$work/hangfirst.txt" --timeout "$hold_timeout_s"

machine_facts
for fact in rounds names latency_ms timeout_s hold_timeout_s sample_every_ms serial; do
  figure fact "$fact" "${!fact}"
done
figure fact growth_names $((5 * names))
figure fact first_row_names "${scale[1]}"
figure fact scale "${scale[*]}"
figure fact held_rows "$(tr -d '\r' <"$work/watched-hang_first.csv" | grep -c ',ok,' || true)"
python3 bench/report.py fleet "$figures" "$work" "$report"
echo "fleet: report written to $report ($(($(date +%s) - began)) s in all)"
