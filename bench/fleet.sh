#!/usr/bin/env bash
# The companion's fleet benchmark: times quillmark.exe over many names that the stand-in service
# answers after scripted latencies, beside the ideal, beside itself at other parallelisms and
# beside a sequential cscript peer, samples its private bytes, and writes bench/FLEET.md
# (FLEET-x64.md for the 64-bit build).
# It runs in the stand-in's own throwaway prefix (the stand-in registered for "winmgmts:"), in a
# session folder of its own under the benchmark's build folder. FLEET_ROUNDS (3) sets how many
# times each timed run is taken; the subjects' runs alternate within a round.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# shellcheck source=bench/common.sh
. bench/common.sh
rounds=${FLEET_ROUNDS:-3}
latency_ms=100
timeout_s=2
sample_every_ms=250
serial=SN-fleet
began=$(date +%s)

bash scripts/setup.sh
choose_build
report=$root/bench/FLEET$report_suffix.md
build_bench_targets fleet_probe
# What was built: edits in the working tree beside the benchmark's own are built too.
revision=$(git rev-parse --short HEAD)
edits=$(git status --porcelain --untracked-files=no -- . ':!bench' ':!README.md' | cut -c4- | paste -sd' ')
[ -z "$edits" ] || revision="$revision, with uncommitted changes to $edits"
# A run without --parallel runs at the program's own default.
default_parallel=$(sed -n 's/.*kDefaultParallel = \([0-9]*\);.*/\1/p' companion/command_line.h)

session=$build/fleet
work=$session/runs
mkdir -p "$session"
echo "fleet: starting the stand-in's Wine session"
trap 'bash tests/standin/standin-session.sh stop "$session" >/dev/null 2>&1 || true' EXIT
run_logged "$session/session.log" bash tests/standin/standin-session.sh start "$session" "$arch" \
  "$standin_service"
# shellcheck source=/dev/null
. "$session/wine/env.sh"
rm -rf "$work"
mkdir -p "$work"

# Every lookup of a host-* name answers after the same latency with one serial number; a hang-*
# name never answers; a fast-* name answers at once (what the lookups' own work costs).
printf 'computer\thost-*\ndelay\t%s\nmember\ttext\t%s\n' "$latency_ms" "$serial" >"$work/fleet.script"
printf 'computer\thang-*\nhang\ncomputer\tfast-*\nmember\ttext\t%s\n' "$serial" >>"$work/fleet.script"
STANDIN_SCRIPT=$(windows_path "$work/fleet.script")
export STANDIN_SCRIPT
seq -f 'host-%04g' 5000 >"$work/names5000.txt"
head -n 1000 "$work/names5000.txt" >"$work/names1000.txt"
head -n 200 "$work/names5000.txt" >"$work/names200.txt"
head -n 100 "$work/names5000.txt" >"$work/names100.txt"
seq -f 'fast-%04g' 1000 >"$work/fast1000.txt"
seq -f 'fast-%06g' 100000 >"$work/fast100000.txt"
head -n 10000 "$work/fast100000.txt" >"$work/fast10000.txt"
# A hung computer first, then names that answer at once.
{ echo hang-first; head -n 1000 "$work/fast100000.txt"; } >"$work/hangfirst1000.txt"
# One name in 20 hangs, spread through the list.
awk '{ print (NR % 20 == 0) ? "hang-" substr($0, 6) : $0 }' "$work/names1000.txt" >"$work/hang1000.txt"

# Runs a command line under the probe, its output in the file OUT, sampling its private bytes every
# EVERY ms (0: never); leaves the probe's findings in $work/probe.txt.
#   probe OUT EVERY COMMAND...
probe() {
  local out=$1 every=$2
  shift 2
  "$WINELOADER" "$fleet_probe" "$(windows_path "$out")" "$every" "$*" >"$work/probe.raw" \
    2>"$work/probe.err" </dev/null || {
    cat "$work/probe.raw" "$work/probe.err" >&2
    echo "fleet: the probe failed: $*" >&2
    exit 1
  }
  tr -d '\r' <"$work/probe.raw" >"$work/probe.txt"
}
finding() { awk -v key="$1" '$1 == key { print $2 }' "$work/probe.txt"; }
seconds() { awk -v ms="$(finding wall_ms)" 'BEGIN { printf "%.2f", ms / 1000 }'; }
# The sample with the most private bytes, as "<bytes> <thread stacks then> <samples taken>".
peak_sample() {
  awk '$1 == "sample" { n++; if ($3 > peak) { peak = $3; stacks = $5 } }
    END { print peak + 0, stacks + 0, n + 0 }' "$work/probe.txt"
}

# The private bytes of the samples in the first or second HALF of the run's time, outside thread
# stacks or ALL of them.
#   half_samples 1|2 other|all
half_samples() {
  awk -v half="$1" -v what="$2" -v wall="$(finding wall_ms)" '
    $1 == "sample" && ($2 < wall / 2) == (half == 1) { print (what == "other") ? $3 - $4 : $3 }' \
    "$work/probe.txt" | paste -sd' '
}

# quillmark's command line for a list of names, with any further options.
#   quillmark_line NAMES [OPTION...]
quillmark_line() {
  local names=$1
  shift
  echo "$(windows_path "$quillmark") --quiet --format csv --reach-timeout 0 $* @$(windows_path "$names")"
}
peer_line() { echo "cscript.exe //nologo $(windows_path bench/fleet/peer.vbs) $(windows_path "$1")"; }

# Whether OUT holds what the script says of each name in NAMES, in their order: the CSV header
# after a byte-order mark, then "ok" and the serial, or "timed out" for a hang-* name. The peer's
# "name,serial" lines are checked with PEER set.
#   rows_as_scripted OUT NAMES [PEER]
rows_as_scripted() {
  tr -d '\r' <"$1" | awk -F, -v names="$2" -v peer="${3:-}" -v serial="$serial" \
    -v header=$'\xef\xbb\xbfcomputer,serial,status,code,description,milliseconds,protocol' '
    BEGIN { while ((getline name < names) > 0) wanted[++count] = name }
    NR == 1 && !peer { bad += ($0 != header); next }
    {
      row = peer ? NR : NR - 1
      status = (wanted[row] ~ /^hang-/) ? "timed out" : "ok"
      if ($1 != wanted[row] || (peer ? $2 != serial : $3 != status || (status == "ok" && $2 != serial))) bad++
      rows = row
    }
    END { print (bad == 0 && rows == count) ? "yes" : "no" }'
}

declare -A times peaks
failures=()
checked=0
# Checks the last run's exit code and output; one that is not as scripted is named in the report.
#   check WHAT OUT NAMES EXIT_CODE [PEER]
check() {
  checked=$((checked + 1))
  if [ "$(finding exit_code)" != "$4" ] || [ "$(rows_as_scripted "$2" "$3" "${5:-}")" != yes ]; then
    failures+=("$1 (exit code $(finding exit_code), output $2)")
  fi
}
# One timed run, checked; its seconds are added to times[KEY].
#   timed KEY NAMES EXIT_CODE OUT COMMAND...
timed() {
  local key=$1 names=$2 wanted_exit=$3 out=$4 peer=
  shift 4
  probe "$out" 0 "$@"
  times[$key]="${times[$key]:-} $(seconds)"
  [ "$key" != peer ] || peer=1
  check "$key" "$out" "$names" "$wanted_exit" "$peer"
}
# The median, minimum and maximum of a list of times.
sorted() { tr ' ' '\n' <<<"$1" | awk NF | sort -g; }
median() { sorted "$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
minimum() { sorted "$1" | head -n 1; }
maximum() { sorted "$1" | tail -n 1; }

echo "fleet: warming up the prefix"
# The first program that needs the desktop starts Wine's desktop process, which keeps that
# program's output file open until the session ends: every run writes a file of its own.
probe "$work/warmup.csv" 0 "$(quillmark_line "$work/names100.txt")"
probe "$work/warmup-peer.txt" 0 "$(peer_line "$work/names100.txt")"

mapfile -t parallels < <(printf '%s\n' 8 16 64 128 256 "$default_parallel" | sort -gu)
load_before=$(load_average)
for round in $(seq "$rounds"); do
  echo "fleet: timed round $round of $rounds (about 70 s)"
  for p in "${parallels[@]}"; do
    option="--parallel $p"
    [ "$p" = "$default_parallel" ] && option=
    # shellcheck disable=SC2086 # no option is given as none
    timed "p$p" "$work/names1000.txt" 0 "$work/p$p-$round.csv" \
      "$(quillmark_line "$work/names1000.txt" $option)"
  done
  timed fast "$work/fast1000.txt" 0 "$work/fast-$round.csv" "$(quillmark_line "$work/fast1000.txt")"
  timed peer "$work/names200.txt" 0 "$work/peer-$round.txt" "$(peer_line "$work/names200.txt")"
  timed quillmark200 "$work/names200.txt" 0 "$work/quillmark200-$round.csv" \
    "$(quillmark_line "$work/names200.txt")"
  timed hang "$work/hang1000.txt" 1 "$work/hang-$round.csv" \
    "$(quillmark_line "$work/hang1000.txt" --timeout "$timeout_s")"
done
hung_names=$(grep -c '^hang-' "$work/hang1000.txt")
# How many hung names each run reported timed out.
hung_timed_out=$(for round in $(seq "$rounds"); do
  tr -d '\r' <"$work/hang-$round.csv" | grep -c '^hang-[0-9]*,,timed out,' || true
done | sort -g | uniq | paste -sd/)

echo "fleet: one run at --parallel 1 (about $((1000 * latency_ms / 1000)) s)"
timed p1 "$work/names1000.txt" 0 "$work/p1.csv" "$(quillmark_line "$work/names1000.txt" --parallel 1)"

# Sampling takes a walk of the address space each time, which costs the process measured: these
# runs are not timed. From the default up, 5,000 names give the samples time to find the peak.
echo "fleet: private bytes at each parallelism, sampled (about 4 minutes)"
walk_ms=()
for p in 1 "${parallels[@]}"; do
  names=$work/names5000.txt
  [ "$p" -lt "$default_parallel" ] && names=$work/names1000.txt
  [ "$p" = 1 ] && names=$work/names100.txt
  option="--parallel $p"
  [ "$p" = "$default_parallel" ] && option=
  # shellcheck disable=SC2086 # no option is given as none
  probe "$work/memory-$p.csv" "$sample_every_ms" "$(quillmark_line "$names" $option)"
  check "memory at --parallel $p" "$work/memory-$p.csv" "$names" 0
  peaks[$p]=$(peak_sample)
  walk_ms+=("$(finding walk_ms)")
  # The default's run is also the one that shows whether the process grows: the medians of the
  # first and of the second half's samples, outside thread stacks and in all.
  if [ "$p" = "$default_parallel" ]; then
    growth="$(median "$(half_samples 1 other)") $(median "$(half_samples 2 other)")"
    growth+=" $(median "$(half_samples 1 all)") $(median "$(half_samples 2 all)")"
    growth+=" $(half_samples 1 all | wc -w) $(half_samples 2 all | wc -w)"
  fi
done
probe "$work/memory-hang.csv" "$sample_every_ms" \
  "$(quillmark_line "$work/hang1000.txt" --timeout "$timeout_s")"
check "memory with hanging names" "$work/memory-hang.csv" "$work/hang1000.txt" 1
peak_hang=$(peak_sample)

machine_facts=$(machine_table)

# Arithmetic for the report: calc EXPRESSION [DECIMALS].
calc() { awk "BEGIN { printf \"%.${2:-2}f\", $1 }"; }
mib() { calc "$1 / 1048576" "${2:-1}"; }
field() { echo "$1" | cut -d' ' -f"$2"; }
yes_no() { if [ "$(awk "BEGIN { print ($1) ? 1 : 0 }")" = 1 ]; then echo yes; else echo "**no**"; fi; }
ideal() { calc "1000 * $latency_ms / 1000 / $1"; }

# How the cost of a name and the memory grow with the list: instant answers, the default
# parallelism, one timed run of each size and one sampled run beside it.
echo "fleet: 1,000, 10,000 and 100,000 names that answer at once (about 8 minutes)"
declare -A scale_us scale_peak scale_other
for n in 1000 10000 100000; do
  names=$work/fast$n.txt
  [ "$n" = 1000 ] && names=$work/fast1000.txt
  probe "$work/scale-$n.csv" 0 "$(quillmark_line "$names")"
  check "$n names" "$work/scale-$n.csv" "$names" 0
  scale_us[$n]=$(calc "$(finding wall_ms) * 1000 / $n" 0)
  # Sampling slows the process: about 50 samples whatever the size, none closer than 50 ms.
  every=$((n / 50 > 50 ? n / 50 : 50))
  probe "$work/scale-memory-$n.csv" "$every" "$(quillmark_line "$names")"
  check "$n names, sampled" "$work/scale-memory-$n.csv" "$names" 0
  scale_peak[$n]=$(peak_sample)
  # The peak outside thread stacks: what the names themselves cost, whatever is in flight.
  scale_other[$n]=$(awk '$1 == "sample" && $3 - $4 > peak { peak = $3 - $4 } END { print peak + 0 }' \
    "$work/probe.txt")
done

# When rows appear: the output file is watched from outside Wine while quillmark writes it.
#   watch_rows NAMES [OPTION...]: prints "<s to the first row> <s to the end>"
watch_rows() {
  local names=$1 out=$work/watched.csv start first=
  shift
  rm -f "$out"
  start=$(date +%s%N)
  "$WINELOADER" "$quillmark" --quiet --format csv --reach-timeout 0 "$@" "@$(windows_path "$names")" >"$out" \
    2>"$work/watched.err" </dev/null &
  local pid=$!
  while kill -0 "$pid" 2>/dev/null; do
    if [ -z "$first" ] && [ -s "$out" ] && awk 'NR == 2 { found = 1; exit } END { exit !found }' "$out"; then
      first=$(date +%s%N)
    fi
    sleep 0.01
  done
  wait "$pid" || true
  local end
  end=$(date +%s%N)
  [ -n "$first" ] || first=$end
  calc "($first - $start) / 1e9"
  echo -n " "
  calc "($end - $start) / 1e9"
  echo
}
echo "fleet: time to the first row, and a hung first computer"
nothing_s=$(watch_rows "$work/fast1000.txt" --help | cut -d' ' -f2)
read -r first_row_s whole_10000_s <<<"$(watch_rows "$work/fast10000.txt")"
hold_timeout_s=5
read -r held_first_s held_end_s <<<"$(watch_rows "$work/hangfirst1000.txt" --timeout "$hold_timeout_s")"
held_rows=$(tr -d '\r' <"$work/watched.csv" | grep -c ',ok,' || true)


default_time=$(median "${times[p$default_parallel]}")
default_ideal=$(ideal "$default_parallel")
p1_time=$(median "${times[p1]}")
peer_time=$(median "${times[peer]}")
quillmark200_time=$(median "${times[quillmark200]}")
hang_time=$(median "${times[hang]}")
hang_worst=$(maximum "${times[hang]}")
# shellcheck disable=SC2017 # the ceiling of the division, times the timeout
hang_bound=$(((1000 + default_parallel - 1) / default_parallel * timeout_s))
fast_time=$(median "${times[fast]}")
# What one more lookup in flight costs: beside the single lookup's peak, per thread stack added.
per_lookup() {
  local base=${peaks[1]}
  calc "($(field "${peaks[$1]}" 1) - $(field "$base" 1)) / ($(field "${peaks[$1]}" 2) - $(field "$base" 2)) / 1048576" 1
}
# The data's default: the fewest lookups in flight whose time is within 1.25 times the best.
best=$(minimum "$(for p in "${parallels[@]}"; do median "${times[p$p]}"; done)")
supported=
for p in 1 "${parallels[@]}"; do
  if [ -z "$supported" ] && [ "$(yes_no "$(median "${times[p$p]}") <= 1.25 * $best")" = yes ]; then
    supported=$p
  fi
done
read -r other_first other_second total_first total_second samples_first samples_second <<<"$growth"
growth_per_name=$(calc "($other_second - $other_first) / 2500 / 1024")

# bench/reach.sh's section of the report is kept as it is.
reach_section=$(awk '/^<!-- reachability check: made by bench\/reach.sh -->$/, /^<!-- end of reachability check -->$/' \
  "$report" 2>/dev/null || true)
{
  echo "# Fleet benchmark: quillmark.exe"
  echo
  echo "Taken by \`bench/fleet.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC'): the command-line companion"
  echo "\`quillmark.exe\` at commit $revision, the $bits-bit build ($machine, \`$toolchain\`, MinSizeRel), in the stand-in's own"
  echo "$arch Wine prefix, where the stand-in management service is registered for \"winmgmts:\" and"
  echo "answers every name as one script says: \`host-*\` after $latency_ms ms with one serial number,"
  echo "\`hang-*\` never, \`fast-*\` at once. Every subject sees the same names and latencies. quillmark runs"
  echo "as \`quillmark --quiet --format csv @names.txt > out\`, with the options named; without"
  echo "\`--parallel\` it runs at its default, $default_parallel (\`kDefaultParallel\`). The peer is"
  echo "[fleet/peer.vbs](fleet/peer.vbs) under \`cscript\`: the same binding, \`InstancesOf(\"Win32_BIOS\")\`"
  echo "and \`SerialNumber\` for one name after another."
  echo
  echo "Times are wall-clock, from process creation until the process has ended, taken by"
  echo "[fleet/fleet_probe.cpp](fleet/fleet_probe.cpp) inside Wine: the median of $rounds runs with the"
  echo "subjects' runs alternating, the minimum in brackets; \`--parallel 1\` was run once. Every output"
  echo "was checked against the script: each name once, in input order, \`ok\` with its serial number"
  echo "(\`timed out\` for a hanging name), and exit code 0 (1 where names hang)."
  if [ "${#failures[@]}" = 0 ]; then
    echo "All $checked outputs were as scripted."
  else
    echo "**Not as scripted:** ${failures[*]}."
  fi
  echo "The machine is shared: builds and tests ran beside the benchmark, as the load shows."
  echo
  echo "$machine_facts"
  echo
  echo "## Targets"
  echo
  echo "| Measurement | Target | Measured | Met |"
  echo "|---|---|---|---|"
  echo "| 1. 1,000 names at $latency_ms ms each, default \`--parallel $default_parallel\` | ≤ 1.25 × the ideal $default_ideal s (100 s ÷ $default_parallel) = $(calc "1.25 * $default_ideal") s | $default_time s ($(minimum "${times[p$default_parallel]}")): $(calc "$default_time / $default_ideal") × the ideal; \`--parallel 1\`: $p1_time s, $(calc "$p1_time / $default_time" 1) × the default's time | $(yes_no "$default_time <= 1.25 * $default_ideal") |"
  echo "| 2. 200 names: the sequential \`cscript\` peer beside quillmark at its default | quillmark ≥ 10 × faster | peer $peer_time s ($(minimum "${times[peer]}")), quillmark $quillmark200_time s ($(minimum "${times[quillmark200]}")): $(calc "$peer_time / $quillmark200_time" 1) × faster | $(yes_no "$peer_time >= 10 * $quillmark200_time") |"
  echo "| 3. 1,000 names of which $hung_names hang, \`--timeout $timeout_s\`, default parallelism | ends within ⌈1000 ÷ $default_parallel⌉ × $timeout_s s = $hang_bound s (+ writing); every hung name \`timed out\` | $hang_time s ($(minimum "${times[hang]}")), slowest $hang_worst s; hung names \`timed out\`: $hung_timed_out of $hung_names in each run, the others \`ok\` | $(yes_no "$hang_worst <= $hang_bound && \"$hung_timed_out\" == \"$hung_names\"") |"
  echo "| 4. Peak private bytes at \`--parallel\` 16, 64 and 256 | figures, to choose the default | $(mib "$(field "${peaks[16]}" 1)"), $(mib "$(field "${peaks[64]}" 1)") and $(mib "$(field "${peaks[256]}" 1)") MiB; about $(per_lookup 16) MiB per lookup in flight (see below) | reported |"
  echo "| 4. No growth over 5,000 names at the default | outside thread stacks, the second half's median no higher than the first's by more than the rows kept for the output (≤ 0.5 KiB a name) | $(mib "$other_first" 2) → $(mib "$other_second" 2) MiB: $growth_per_name KiB a name (all private bytes: $(mib "$total_first") → $(mib "$total_second") MiB) | $(yes_no "$growth_per_name <= 0.5") |"
  echo
  echo "## Scale and streaming"
  echo
  echo "Names the stand-in answers at once (\`fast-*\`), the default parallelism, CSV to a file. The time"
  echo "a name is the whole run's wall time ÷ names, process start included; the peak private bytes"
  echo "come from a sampled run of its own beside the timed one (one run each: these figures are"
  echo "single runs on the shared machine, and move with its load)."
  echo
  echo "| Names | Time a name (µs) | Peak private bytes (MiB) | Thread stacks at the peak | Peak outside thread stacks (MiB) | Samples |"
  echo "|--:|--:|--:|--:|--:|--:|"
  for n in 1000 10000 100000; do
    echo "| $n | ${scale_us[$n]} | $(mib "$(field "${scale_peak[$n]}" 1)") | $(field "${scale_peak[$n]}" 2) | $(mib "${scale_other[$n]}") | $(field "${scale_peak[$n]}" 3) |"
  done
  echo
  echo "| Measurement | Target | Measured | Met |"
  echo "|---|---|---|---|"
  echo "| Time a name at 100,000 beside 1,000 | ≤ 1.1 × | ${scale_us[100000]} µs against ${scale_us[1000]} µs: $(calc "${scale_us[100000]} / ${scale_us[1000]}") × | $(yes_no "${scale_us[100000]} <= 1.1 * ${scale_us[1000]}") |"
  echo "| Peak private bytes at 100,000 beside 1,000 | ≤ 1.5 × | $(mib "$(field "${scale_peak[100000]}" 1)") MiB against $(mib "$(field "${scale_peak[1000]}" 1)") MiB: $(calc "$(field "${scale_peak[100000]}" 1) / $(field "${scale_peak[1000]}" 1)") × | $(yes_no "$(field "${scale_peak[100000]}" 1) <= 1.5 * $(field "${scale_peak[1000]}" 1)") |"
  echo "| Peak outside thread stacks at 100,000 beside 1,000 | (the same, without the stacks of the lookups in flight at the peak) | $(mib "${scale_other[100000]}") MiB against $(mib "${scale_other[1000]}") MiB: $(calc "${scale_other[100000]} / ${scale_other[1000]}") × | $(yes_no "${scale_other[100000]} <= 1.5 * ${scale_other[1000]}") |"
  echo "| First row of 10,000 names | within 1 s of the first lookup's end | first row $first_row_s s after the process was started, the whole run $whole_10000_s s; a run that looks nothing up (\`--help\`) takes $nothing_s s from start to end, so the first row came $(calc "$first_row_s - $nothing_s") s after the program could first have written anything | $(yes_no "$first_row_s - $nothing_s <= 1") |"
  echo "| A hung first computer, then 1,000 that answer at once, \`--timeout $hold_timeout_s\` | holds the rest back until its deadline at most | first row (its \`timed out\`) at $held_first_s s, the run over at $held_end_s s, with $held_rows rows \`ok\` | $(yes_no "$held_first_s <= $hold_timeout_s + $nothing_s + 1") |"
  echo
  echo "Times from outside Wine are taken by watching the output file every 10 ms: they include"
  echo "Wine's process start, which the \`--help\` run shows on its own."
  echo
  echo "## Parallelism"
  echo
  echo "1,000 names at $latency_ms ms each. The ideal is the sum of latencies ÷ parallelism. Private"
  echo "bytes were sampled in runs of their own (below). The thread stacks counted in the peak sample"
  echo "are one per lookup in flight besides the program's own few, and the cost per lookup in flight"
  echo "is the peak's excess over the single lookup's peak, per thread stack added."
  echo
  echo "| \`--parallel\` | Ideal (s) | Time (s) | ÷ ideal | Peak private bytes (MiB) | Thread stacks at the peak | Per lookup in flight (MiB) | Samples (names) |"
  echo "|--:|--:|--:|--:|--:|--:|--:|--:|"
  for p in 1 "${parallels[@]}"; do
    names=5000
    [ "$p" -lt "$default_parallel" ] && names=1000
    [ "$p" = 1 ] && names=100
    label=$p
    [ "$p" = "$default_parallel" ] && label="$p (default)"
    cost="$(per_lookup "$p")"
    [ "$p" = 1 ] && cost="—"
    range=$(minimum "${times[p$p]}")
    [ "$p" = 1 ] && range="once"
    echo "| $label | $(ideal "$p") | $(median "${times[p$p]}") ($range) | $(calc "$(median "${times[p$p]}") / $(ideal "$p")") | $(mib "$(field "${peaks[$p]}" 1)") | $(field "${peaks[$p]}" 2) | $cost | $(field "${peaks[$p]}" 3) ($names) |"
  done
  echo "| reference: 1,000 \`fast-*\` names, no latency, default | 0 | $fast_time ($(minimum "${times[fast]}")) | | | | | |"
  echo "| reference: 1,000 names, $hung_names hanging, \`--timeout $timeout_s\`, default | | $hang_time ($(minimum "${times[hang]}")) | | $(mib "$(field "$peak_hang" 1)") | $(field "$peak_hang" 2) | | $(field "$peak_hang" 3) (1000) |"
  echo
  fastest=$supported
  for p in "${parallels[@]}"; do
    [ "$(median "${times[p$p]}")" != "$best" ] || fastest=$p
  done
  floor_room="puts the 1.25 × target out of reach here"
  if [ "$(yes_no "$fast_time <= 1.25 * $default_ideal")" = yes ]; then
    floor_room="leaves $(calc "1.25 * $default_ideal - $fast_time") s between that floor and the 1.25 × target here"
  fi
  against=
  [ "$fastest" = "$supported" ] ||
    against=", against $(mib "$(field "${peaks[$fastest]}" 1)") MiB at $fastest"
  echo "**The data support \`--parallel $supported\`** as the default: it is the fewest lookups in flight"
  echo "whose time is within 1.25 × the best measured ($(median "${times[p$supported]}") s against $best s at"
  echo "\`--parallel $fastest\`), and each lookup in flight costs about $(per_lookup "$supported") MiB of private"
  echo "bytes here ($(mib "$(field "${peaks[$supported]}" 1)") MiB at the peak$against). Past that point the time is bounded by the"
  echo "lookups' own work, not by their latency: the same 1,000 names with no latency at all take"
  echo "$fast_time s on this $(nproc)-processor machine, $(calc "$fast_time / $default_ideal") × the default's ideal, which"
  echo "$floor_room."
  top=${parallels[-1]}
  if [ "$(field "${peaks[$top]}" 2)" -lt "$top" ]; then
    echo "At \`--parallel $top\` the peak sample held $(field "${peaks[$top]}" 2) thread stacks: the machine"
    echo "finishes lookups about as fast as it can start them, so asking for more in flight gains nothing."
  fi
  echo
  echo "## How private bytes were measured"
  echo
  echo "Wine leaves the system's own private-bytes counter empty, so the probe sums the committed"
  echo "private regions of quillmark's address space (\`VirtualQueryEx\`), as the main report's"
  echo "footprint table does, every $sample_every_ms ms after the previous walk ended. Under Wine one"
  echo "walk of another process takes long (here $(minimum "${walk_ms[*]}") to"
  echo "$(maximum "${walk_ms[*]}") ms, growing with the threads) and slows the"
  echo "process walked, so these runs are not timed, and the peak is the highest of the samples taken."
  echo "Wine commits each thread's whole stack reservation (512 KiB, which quillmark asks for its"
  echo "workers) and a 1 MiB kernel stack when the thread starts, where Windows commits a stack's pages"
  echo "as they are touched: the cost per lookup in flight above is mostly those stacks, and would be"
  echo "far lower on Windows. A hung lookup's thread is left behind with its stacks until the process"
  echo "ends."
  echo
  echo "Growth is judged outside thread stacks (allocations holding a guard page, and the kernel stack"
  echo "Wine places right after each), since threads start and end with every lookup: over the 5,000"
  echo "names at the default, the median of the $samples_first samples in the first half of the run"
  echo "was $(mib "$other_first" 2) MiB, of the $samples_second in the second half $(mib "$other_second" 2) MiB."
  echo "quillmark keeps each finished computer's row until all are written in input order, about"
  echo "0.25 KiB a name; that is the growth expected."
  [ -z "$reach_section" ] || printf '\n%s\n' "$reach_section"
} >"$report"
echo "fleet: report written to $report ($(($(date +%s) - began)) s in all)"
