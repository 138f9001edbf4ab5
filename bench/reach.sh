#!/usr/bin/env bash
# The reachability check's benchmark: quillmark.exe over 1,000 loopback addresses in a private
# network namespace, a fifth of them silent (an nftables rule drops their connection requests) and
# the rest answering TCP 135 and, through the stand-in service, after a scripted latency; with the
# check on, and with it off, where a silent computer costs the platform's own 21 s. Writes its
# section of bench/FLEET.md (FLEET-x64.md for the 64-bit build). Needs a host that permits network
# and mount namespaces (unshare -n -m): the names are given their addresses by a private /etc/hosts,
# since a loopback address written as a name is this computer, which is never checked.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# shellcheck source=bench/common.sh
. bench/common.sh
rounds=${REACH_ROUNDS:-3}
latency_ms=50
reach_ms=1500
silent_cost_s=21 # what Windows spends on a connection nobody answers (3 + 6 + 12 s)
names=1000
silent_every=5

bash scripts/setup.sh
export PATH=$PATH:/usr/sbin
unshare -n -m true 2>/dev/null || { echo "reach: this host permits no network namespace" >&2; exit 1; }
choose_build
report=$root/bench/FLEET$report_suffix.md
# The ordinary build of the chosen preset: the companion and the stand-in are all it needs.
build=$root/build/$preset
[ -f "$build/CMakeCache.txt" ] || run_logged "$root/build/reach-configure.log" cmake --preset "$preset"
run_logged "$build/reach-build.log" cmake --build --preset "$preset" --target companion_tool \
  standin_service -j "$(nproc)"
quillmark=$(find "$build/companion" -maxdepth 1 -name quillmark.exe)
standin_service=$(find "$build/tests/standin" -maxdepth 1 -name standin_service.dll)
default_parallel=$(sed -n 's/.*kDefaultParallel = \([0-9]*\);.*/\1/p' companion/command_line.h)
revision=$(git rev-parse --short HEAD)

session=$build/reach-bench
work=$session/runs
trap 'bash tests/standin/standin-session.sh stop "$session" >/dev/null 2>&1 || true' EXIT
run_logged "$build/reach-session.log" bash tests/standin/standin-session.sh start "$session" \
  "$arch" "$standin_service"
# shellcheck source=/dev/null
. "$session/wine/env.sh"
rm -rf "$work"
mkdir -p "$work"

# Every host-* name answers after the latency with one serial; silent-* names are never asked.
printf 'computer\thost-*\ndelay\t%s\nmember\ttext\tSN-reach\n' "$latency_ms" >"$work/reach.script"
STANDIN_SCRIPT=$(windows_path "$work/reach.script")
export STANDIN_SCRIPT
# The names, and the hosts file that gives them their addresses: silent ones in 127.0.9.*.
awk -v n="$names" -v every="$silent_every" -v hosts="$work/hosts" 'BEGIN {
  print "127.0.0.1 localhost" > hosts
  for (i = 1; i <= n; i++) {
    if (i % every == 0) {
      s++; name = sprintf("silent-%04d.reach.test", s); address = "127.0.9." s
    } else {
      a++; name = sprintf("host-%04d.reach.test", a)
      address = "127.0." (1 + int((a - 1) / 200)) "." (1 + (a - 1) % 200)
    }
    print name; print address, name > hosts
  } }' >"$work/names.txt"
grep '^host-' "$work/names.txt" >"$work/answering.txt"
silent=$(grep -c '^silent-' "$work/names.txt")
answering=$(wc -l <"$work/answering.txt")

# Wine's sockets are made by its server: it runs inside the namespace for the runs.
"$WINESERVER" -k >/dev/null 2>&1 || true
load_before=$(load_average)
unshare -n -m bash -s "$work" "$(windows_path "$quillmark")" "$reach_ms" "$rounds" <<'INSIDE' >"$work/times.txt"
set -euo pipefail
work=$1 quillmark=$2 reach_ms=$3 rounds=$4
ip link set lo up
mount --bind "$work/hosts" /etc/hosts
nft -f - <<'RULES'
table inet quillmark_reach {
  chain out {
    type filter hook output priority 0;
    ip daddr 127.0.9.0/24 tcp dport { 135, 5985 } drop
  }
}
RULES
# Answers TCP 135 on every loopback address: accepts each connection and closes it.
python3 -c '
import socket
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("0.0.0.0", 135))
s.listen(4096)
while True:
    c, _ = s.accept()
    c.close()
' &
listener=$!
"$WINESERVER" -p >"$work/wineserver.log" 2>&1 </dev/null
timed() { # timed KEY OUT ARGS...: one run, its seconds on a line "KEY seconds exit-code"
  local key=$1 out=$2 began ended code=0
  shift 2
  began=$(date +%s.%N)
  "$WINELOADER" "$quillmark" --quiet --format csv "$@" >"$out" 2>"$out.err" </dev/null || code=$?
  ended=$(date +%s.%N)
  echo "$key $(awk -v a="$began" -v b="$ended" 'BEGIN { printf "%.2f", b - a }') $code"
}
"$WINELOADER" "$quillmark" --quiet --reach-timeout 0 host-0001.reach.test >"$work/warmup.csv" 2>&1 </dev/null || true
for round in $(seq "$rounds"); do
  timed on "$work/on-$round.csv" --reach-timeout "$reach_ms" "@$(sed 's|/|\\|g; s|^|Z:|' <<<"$work/names.txt")"
  timed off "$work/off-$round.csv" --reach-timeout 0 "@$(sed 's|/|\\|g; s|^|Z:|' <<<"$work/answering.txt")"
done
kill "$listener"
"$WINESERVER" -k >/dev/null 2>&1 || true
INSIDE

median() { awk -v key="$1" '$1 == key { print $2 }' "$work/times.txt" | sort -g |
  awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
minimum() { awk -v key="$1" '$1 == key { print $2 }' "$work/times.txt" | sort -g | head -n 1; }
calc() { awk "BEGIN { printf \"%.${2:-2}f\", $1 }"; }
yes_no() { if [ "$(awk "BEGIN { print ($1) ? 1 : 0 }")" = 1 ]; then echo yes; else echo "**no**"; fi; }
# Whether every run's rows are as scripted: each answering name ok with its serial over DCOM, each
# silent one unreachable with the silence code and no protocol, exit code 1 (0 for the off runs).
checked=yes
for out in "$work"/on-*.csv; do
  ok=$(tr -d '\r' <"$out" | grep -c '^host-[0-9]*\.reach\.test,SN-reach,ok,,,[0-9]*,dcom$' || true)
  unreachable=$(tr -d '\r' <"$out" | grep -c '^silent-[0-9]*\.reach\.test,,unreachable,0x8007274C,.*,[0-9]*,$' || true)
  [ "$ok" = "$answering" ] && [ "$unreachable" = "$silent" ] || checked="no ($out: $ok ok, $unreachable unreachable)"
done
for out in "$work"/off-*.csv; do
  ok=$(tr -d '\r' <"$out" | grep -c ',SN-reach,ok,,,[0-9]*,dcom$' || true)
  [ "$ok" = "$answering" ] || checked="no ($out: $ok ok)"
done
awk '$3 != ($1 == "on" ? 1 : 0) { bad = 1 } END { exit bad }' "$work/times.txt" || checked="no (an exit code)"

on=$(median on)
answering_off=$(median off)
# With the check off, each silent computer holds a lookup slot for the platform's 21 s.
off=$(calc "$answering_off + $silent * $silent_cost_s / $default_parallel")
ideal=$(calc "($answering * $latency_ms / 1000 + $silent * $reach_ms / 1000) / $default_parallel")
section=$(cat <<SECTION
<!-- reachability check: made by bench/reach.sh -->
## The reachability check

Taken by \`bench/reach.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC') at commit $revision, the $bits-bit build,
in a private network namespace (\`unshare -n -m\`) holding loopback alone, whose own /etc/hosts gives
$names names loopback addresses: every ${silent_every}th of them one of $silent silent addresses (127.0.9.*, whose
connection requests an nftables rule drops), the other $answering answering TCP 135 (a listener that accepts and closes) and then, through the
stand-in service, after $latency_ms ms with one serial number. quillmark runs at its default
parallelism, $default_parallel, as \`quillmark --quiet --format csv @names.txt\`. Times are wall-clock around the
Wine process, the median of $rounds runs (the minimum in brackets). With the check off, the
stand-in would answer the silent names too, so the off figure is computed: the
measured run of the $answering answering names alone, plus $silent × $silent_cost_s s (the time Windows gives
a connection nobody answers) ÷ $default_parallel lookups in flight. The ideal with the check on is
($answering × $latency_ms ms + $silent × $reach_ms ms) ÷ $default_parallel. Every output was as scripted: $checked. The
machine is shared with other builds and tests (load average $load_before before, $(load_average) after).

| Measurement | Target | Measured | Met |
|---|---|---|---|
| Check on (\`--reach-timeout $reach_ms\`), $names names | ≥ 10 × faster than off | $on s ($(minimum on)) against $off s off: $(calc "$off / $on" 1) × faster | $(yes_no "$off >= 10 * $on") |
| Check on, beside the ideal | ≤ 1.3 × the ideal $ideal s = $(calc "1.3 * $ideal") s | $(calc "$on / $ideal") × the ideal | $(yes_no "$on <= 1.3 * $ideal") |
| Check off: the $answering answering names alone, measured | figure | $answering_off s ($(minimum off)) | reported |
<!-- end of reachability check -->
SECTION
)
# The section replaces its earlier version, or follows what bench/fleet.sh wrote.
awk -v section="$section" '
  /^<!-- reachability check: made by bench\/reach.sh -->$/ { skipping = 1; print section; done = 1; next }
  /^<!-- end of reachability check -->$/ { skipping = 0; next }
  !skipping { print }
  END { if (!done) { print ""; print section } }' "$report" >"$work/FLEET.md"
cp "$work/FLEET.md" "$report"
echo "reach: on $on s, off $off s (computed), ideal $ideal s; outputs as scripted: $checked"
