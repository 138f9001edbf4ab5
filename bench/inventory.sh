#!/usr/bin/env bash
# The inventory's benchmark: `quillmark --inventory FILE --max-age 7` over inventories of 1,000,
# 10,000 and 100,000 computers that were all just seen, so that nothing is looked up and the run
# only reads, merges and rewrites the file, beside the same run over an empty inventory (what the
# process costs by itself); and a run of 100,000 computers that answer at once with an inventory
# beside the same run without one. All timed by hyperfine in the stand-in's own prefix; the fleet
# probe samples quillmark's private bytes. Writes its section of bench/FLEET.md (FLEET-x64.md for
# the 64-bit build) through bench/report.py. INVENTORY_SIZES ("1000 10000 100000") and
# INVENTORY_ROUNDS (5) can be made smaller for a trial.
# shellcheck disable=SC2154 # the programs' paths are set by the build's bench-programs.sh
set -euo pipefail
# shellcheck source=bench/common.sh
. "$(dirname "$0")/common.sh"
rounds=${INVENTORY_ROUNDS:-5}
read -r -a sizes <<<"${INVENTORY_SIZES:-1000 10000 100000}"
large=${sizes[-1]} max_age_days=7 serial=SN-inventory

choose_build
report=$report_dir/FLEET$report_suffix.md
build_bench_targets companion_tool fleet_probe
script=$(mktemp)
printf 'computer\tfast-*\nmember\ttext\t%s\n' "$serial" >"$script"
standin_session "$build/inventory-bench" "$script"
rm -f "$script"
figures=$work/figures.csv

win() { windows_path "$1"; }
# quillmark over an inventory and any further arguments, as hyperfine runs it.
kept_line() { shell_line "$WINELOADER" "$(win "$quillmark")" --quiet --format csv --reach-timeout 0 "$@"; }
echo "inventory: making inventories of ${sizes[*]} computers, every one seen now"
for n in "${sizes[@]}"; do
  seq -f 'fast-%06g' "$n" >"$work/fast$n.txt"
  "$WINELOADER" "$quillmark" --quiet --format csv --reach-timeout 0 --inventory "$(win "$work/inv$n.csv")" \
    "@$(win "$work/fast$n.txt")" >"$work/made$n.csv" 2>"$work/made$n.err" </dev/null
  cp "$work/inv$n.csv" "$work/inv$n.before"
done
printf '\xef\xbb\xbfcomputer\r\n' >"$work/inv0.csv"
cp "$work/inv$large.csv" "$work/with.csv"

load_before=$(load_average)
runs=(kept0 "$(kept_line --inventory "$(win "$work/inv0.csv")" --max-age "$max_age_days")")
for n in "${sizes[@]}"; do
  runs+=("kept$n" "$(kept_line --inventory "$(win "$work/inv$n.csv")" --max-age "$max_age_days")")
done
runs+=(with "$(kept_line --inventory "$(win "$work/with.csv")" "@$(win "$work/fast$large.txt")")")
runs+=(without "$(kept_line "@$(win "$work/fast$large.txt")")")
for round in $(seq "$rounds"); do
  echo "inventory: timed round $round of $rounds"
  timed "$work/hyperfine/round$round.json" 1 "${runs[@]}"
done

# Sampled runs, not timed: the read, merge and rewrite of the largest inventory, and the run of
# its computers with and without an inventory.
sampled() {
  local key=$1 every=$2
  shift 2
  "$WINELOADER" "$fleet_probe" "$(win "$work/out/memory-$key")" "$every" \
    "$(win "$quillmark") --quiet --format csv --reach-timeout 0 $*" \
    >"$work/probe/$key.raw" 2>"$work/probe/$key.err" </dev/null
  tr -d '\r' <"$work/probe/$key.raw" >"$work/probe/$key.txt"
}
echo "inventory: private bytes, sampled"
sampled kept 20 --inventory "$(win "$work/inv$large.csv")" --max-age "$max_age_days"
sampled with $((large / 50 > 50 ? large / 50 : 50)) --inventory "$(win "$work/with.csv")" "@$(win "$work/fast$large.txt")"
sampled without $((large / 50 > 50 ? large / 50 : 50)) "@$(win "$work/fast$large.txt")"

# A run that looked nothing up left its inventory byte for byte as it was.
for n in "${sizes[@]}"; do
  figure unchanged "$n" "$(cmp -s "$work/inv$n.csv" "$work/inv$n.before" && echo yes || echo no)"
  figure list "$n" "$work/fast$n.txt"
done
machine_facts
for fact in rounds max_age_days serial large; do figure fact "$fact" "${!fact}"; done
figure fact sizes "${sizes[*]}"
figure fact inventory_bytes "$(stat -c %s "$work/inv$large.csv")"
python3 bench/report.py inventory "$figures" "$work" "$report"
