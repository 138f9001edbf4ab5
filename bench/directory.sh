#!/usr/bin/env bash
# The directory benchmark: `quillmark --names-only LDAP://...` over an OpenLDAP directory on
# loopback that holds 1,000 and 100,000 enabled computer accounts with Active Directory's page
# limit (tests/companion/directory-slapd.sh), beside the floor: `ldapsearch` with the same filter,
# attributes and page size; and beside the same search through Wine's own LDAP client with no
# directory interface above it (bench/floor_ldap.cpp), which shows what Wine's client costs. All
# are timed by hyperfine; the fleet probe samples quillmark's private bytes. Runs in a private network namespace (unshare -n -m), so nothing leaves loopback.
# Writes its section of bench/FLEET.md (FLEET-x64.md for the 64-bit build) through
# bench/report.py. DIRECTORY_SIZES ("1000 100000") and DIRECTORY_ROUNDS (3) can be made smaller
# for a trial.
# shellcheck disable=SC2154 # the programs' paths are set by the build's bench-programs.sh
set -euo pipefail
# shellcheck source=bench/common.sh
. "$(dirname "$0")/common.sh"
rounds=${DIRECTORY_ROUNDS:-3}
read -r -a sizes <<<"${DIRECTORY_SIZES:-1000 100000}"
page_size=1000 base=OU=Computers,DC=fleet,DC=test
# What quillmark asks of the directory for its enabled computers, asked of ldapsearch alike.
filter='(&(objectCategory=computer)(!(userAccountControl:1.2.840.113556.1.4.803:=2)))'

export PATH=$PATH:/usr/sbin
unshare -n -m true 2>/dev/null || { echo "directory: this host permits no network namespace" >&2; exit 1; }
choose_build
report=$report_dir/FLEET$report_suffix.md
build_bench_targets companion_tool fleet_probe floor_ldap
# No computer is looked up; the stand-in's session is only the prefix the runs share.
script=$(mktemp)
printf 'computer\t*\nmember\ttext\tSN\n' >"$script"
standin_session "$build/directory-bench" "$script"
rm -f "$script"
figures=$work/figures.csv

# Wine's directory provider needs its server inside the namespace, with the directories.
"$WINESERVER" -k >/dev/null 2>&1 || true
load_before=$(load_average)
export work quillmark fleet_probe floor_ldap rounds page_size base filter
unshare -n -m bash -s "${sizes[@]}" <<'INSIDE'
set -euo pipefail
# shellcheck source=bench/common.sh
. bench/common.sh
figures=$work/figures.csv
ip link set lo up
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; "$WINESERVER" -k >/dev/null 2>&1 || true' EXIT
runs=()
address=1
for n in "$@"; do
  address=$((address + 1))
  url=ldap://127.0.0.$address:389/
  echo "directory: a directory of $n computers at $url"
  run_logged "$work/slapd$n.log" bash tests/companion/directory-slapd.sh "$work/slapd$n" "$n" "$url"
  pids+=("$(cat "$work/slapd$n/slapd.pid")")
  source="LDAP://127.0.0.$address/$base"
  figure source "q$n" "$source"
  runs+=("q$n" "$(shell_line "$WINELOADER" "$(windows_path "$quillmark")" --quiet --names-only "$source")")
  runs+=("w$n" "$(shell_line "$WINELOADER" "$(windows_path "$floor_ldap")" "127.0.0.$address" 389 \
    "$base" "$filter")")
  runs+=("l$n" "$(shell_line ldapsearch -x -LLL -o ldif-wrap=no -H "$url" -b "$base" -s sub \
    -E "pr=$page_size/noprompt" "$filter" dNSHostName cn)")
done
"$WINESERVER" -p >"$work/wineserver.log" 2>&1 </dev/null
"$WINELOADER" "$quillmark" --quiet --names-only "LDAP://127.0.0.2/$base" >"$work/warmup.txt" 2>&1 </dev/null
echo "directory: timing quillmark and ldapsearch, $rounds runs each"
timed "$work/hyperfine/directory.json" "$rounds" "${runs[@]}"
for n in "$@"; do
  echo "directory: quillmark's private bytes over $n computers"
  "$WINELOADER" "$fleet_probe" "$(windows_path "$work/out/memory-q$n-run")" 50 \
    "$(windows_path "$quillmark") --quiet --names-only $(grep "^source,q$n," "$figures" | cut -d'"' -f2)" \
    >"$work/probe/memory-q$n.raw" 2>"$work/probe/memory-q$n.err" </dev/null
  tr -d '\r' <"$work/probe/memory-q$n.raw" >"$work/probe/memory-q$n.txt"
done
INSIDE

machine_facts
for fact in rounds page_size base filter; do figure fact "$fact" "${!fact}"; done
figure fact sizes "${sizes[*]}"
python3 bench/report.py directory "$figures" "$work" "$report"
