#!/usr/bin/env bash
# The reachability check's benchmark: quillmark.exe over 1,000 loopback addresses in a private
# network namespace, a fifth of them silent (an nftables rule drops their connection requests) and
# the rest answering TCP 135 and, through the stand-in service, after a scripted latency; with the
# check on, and with it off, where a silent computer costs the platform's own 21 s. Writes its
# section of bench/FLEET.md (FLEET-x64.md for the 64-bit build) through bench/report.py. Needs a
# host that permits network and mount namespaces (unshare -n -m): the names are given their
# addresses by a private /etc/hosts, since a loopback address written as a name is this computer,
# which is never checked. REACH_NAMES (1000) and REACH_ROUNDS (3) can be made smaller for a trial.
# shellcheck disable=SC2154 # the programs' paths are set by the build's bench-programs.sh
set -euo pipefail
# shellcheck source=bench/common.sh
. "$(dirname "$0")/common.sh"
rounds=${REACH_ROUNDS:-3}
names=${REACH_NAMES:-1000}
latency_ms=50 reach_ms=1500 silent_every=5
# shellcheck disable=SC2034 # recorded as a fact below
silent_cost_s=21 # what Windows spends on a connection nobody answers (3 + 6 + 12 s)

export PATH=$PATH:/usr/sbin
unshare -n -m true 2>/dev/null || { echo "reach: this host permits no network namespace" >&2; exit 1; }
choose_build
report=$report_dir/FLEET$report_suffix.md
build_bench_targets companion_tool standin_service
# Every host-* name answers after the latency with one serial; silent-* names are never asked.
script=$(mktemp)
printf 'computer\thost-*\ndelay\t%s\nmember\ttext\tSN-reach\n' "$latency_ms" >"$script"
standin_session "$build/reach-bench" "$script"
rm -f "$script"
figures=$work/figures.csv
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
figure list on "$work/names.txt"
figure list off "$work/answering.txt"

# Wine's sockets are made by its server: it runs inside the namespace for the runs.
"$WINESERVER" -k >/dev/null 2>&1 || true
load_before=$(load_average)
export work quillmark reach_ms rounds
unshare -n -m bash -s <<'INSIDE'
set -euo pipefail
# shellcheck source=bench/common.sh
. bench/common.sh
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
"$WINELOADER" "$quillmark" --quiet --reach-timeout 0 host-0001.reach.test >"$work/warmup.csv" 2>&1 </dev/null || true
timed "$work/reach.json" "$rounds" on "$(quillmark_line "$work/names.txt" --reach-timeout "$reach_ms")" \
  off "$(quillmark_line "$work/answering.txt" --reach-timeout 0)"
kill "$listener"
"$WINESERVER" -k >/dev/null 2>&1 || true
INSIDE

machine_facts
for fact in latency_ms reach_ms silent_every silent_cost_s; do figure fact "$fact" "${!fact}"; done
python3 bench/report.py reach "$figures" "$work" "$report"
