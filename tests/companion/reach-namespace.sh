#!/usr/bin/env bash
# Runs the companion's reachability tests in a private network namespace that holds loopback
# alone, with a drop rule that makes one address silent, a private /etc/hosts (in a mount
# namespace of their own) that gives the test's names their loopback addresses, and a slow name
# server for the rest; nothing is sent beyond the namespace.
#   reach-namespace.sh SESSION_FOLDER WINE_RUN TEST_PROGRAM
# Skipped (exit code 77) where this host permits no network namespace or lacks nftables.
set -uo pipefail
session=$(readlink -f "$1")
wine_run=$2
program=$3

unshare_command=()
if unshare -n -m true 2>/dev/null; then
  unshare_command=(unshare -n -m)
elif unshare -r -n -m true 2>/dev/null; then
  unshare_command=(unshare -r -n -m)
else
  echo "SKIPPED: this host permits no private network and mount namespaces (unshare -n -m fails)"
  exit 77
fi
if ! command -v nft >/dev/null 2>&1 && [ ! -x /usr/sbin/nft ]; then
  echo "SKIPPED: nft is missing (Debian's nftables; scripts/setup.sh installs it)"
  exit 77
fi
export PATH=$PATH:/usr/sbin
# shellcheck source=/dev/null
. "$session/wine/env.sh"

# Wine's sockets are made by its server: the session's server must give way to one inside.
"$WINESERVER" -k >/dev/null 2>&1 || true
"${unshare_command[@]}" bash -s "$session" "$wine_run" "$program" <<'INSIDE'
set -uo pipefail
session=$1
ip link set lo up || exit 1
# Names rather than loopback addresses: a loopback address names this computer, never checked.
hosts=$session/wine/reach-hosts
printf '%s\n' '127.0.0.1 localhost' '127.0.0.2 both.reach.test' '127.0.0.3 winrm.reach.test' \
  '127.0.0.4 refusing.reach.test' '127.0.0.5 silent.reach.test' >"$hosts"
mount --bind "$hosts" /etc/hosts || exit 1
# A name server of the namespace's own: it knows no name, and says so at once, but of slowdns.test
# only after 3 s.
resolv=$session/wine/reach-resolv.conf
echo 'nameserver 127.0.0.1' >"$resolv"
mount --bind "$resolv" /etc/resolv.conf || exit 1
python3 - <<'SERVER' &
import socket, threading
server = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
server.bind(("127.0.0.1", 53))
while True:
    query, asker = server.recvfrom(512)
    answer = query[:2] + b"\x81\x83" + query[4:6] + bytes(6) + query[12:]  # NXDOMAIN
    delay = 3 if b"\x07slowdns\x04test\x00" in query.lower() else 0
    threading.Timer(delay, server.sendto, (answer, asker)).start()
SERVER
name_server=$!
for _ in $(seq 50); do ss -Hlun 'sport = :53' | grep -q . && break; sleep 0.1; done
# 127.0.0.5 stays silent: its connection requests are dropped.
nft -f - <<'RULES' || exit 1
table inet quillmark_reach {
  chain out {
    type filter hook output priority 0;
    ip daddr 127.0.0.5 tcp dport { 135, 5985 } drop
  }
}
RULES
"$WINESERVER" -p >>"$session/wine/wineserver.log" 2>&1 </dev/null
QUILLMARK_WINE_SESSION=$session/wine QUILLMARK_REACH_NAMESPACE=1 "$2" "$3" --gtest_filter='Reachability.*'
status=$?
"$WINESERVER" -k >/dev/null 2>&1 || true
kill "$name_server"
exit $status
INSIDE
status=$?
# The session's other tests need its persistent server again, outside.
"$WINESERVER" -p >>"$session/wine/wineserver.log" 2>&1 </dev/null
exit $status
