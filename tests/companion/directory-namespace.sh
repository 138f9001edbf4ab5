#!/usr/bin/env bash
# Runs a program (the companion's directory tests) in a private network namespace that holds
# loopback alone, with two directory servers of its own: Samba as the domain controller of
# samdom.test (dc1.samdom.test, 127.0.0.1:389), provisioned anew in FOLDER/samba and holding the
# computer accounts below, readable anonymously; and slapd (ldap.fleet.test:3389) holding 1,500
# computers with Active Directory's page limit (directory-slapd.sh). A private /etc/hosts and
# /etc/resolv.conf (in a mount namespace of their own) name them; nothing is sent beyond the
# namespace. The session's Wine server is restarted inside, as Wine's directory provider needs.
# Samba's state, which holds its sockets, lies in a short folder of its own under /tmp whatever the
# checkout's depth (a socket's path holds at most 107 bytes), removed at the end; its logs stay in
# FOLDER.
#   directory-namespace.sh SESSION_FOLDER FOLDER WINE_RUN PROGRAM [ARGUMENT...]
# Skipped (exit code 77) where this host permits no namespaces or lacks Samba or slapd.
set -uo pipefail
session=$(readlink -f "$1")
folder=$(mkdir -p "$2" && readlink -f "$2")
here=$(dirname "$(readlink -f "$0")")
shift 2
export PATH=$PATH:/usr/sbin
unshare -n -m -u true 2>/dev/null || { echo "SKIPPED: this host permits no namespaces"; exit 77; }
for tool in samba samba-tool ldbadd slapd ldapsearch; do
  command -v "$tool" >/dev/null || { echo "SKIPPED: $tool is missing (scripts/setup.sh)"; exit 77; }
done
# shellcheck source=/dev/null
. "$session/wine/env.sh"

# The OUs, then one computer a line: dNSHostName ("-": none), userAccountControl (4098: disabled),
# days since the last logon ("-": never), its OU by number, and cn. OUT01 is outside OU=Fleet.
computer_ldif() {
  local ous=(OU=Fleet OU=Lab,OU=Fleet OU=Deep,OU=Lab,OU=Fleet OU=Elsewhere OU=Empty,OU=Fleet) now host uac days ou cn
  now=$(( ($(date +%s) + 11644473600) * 10000000 ))
  printf 'dn: %s,DC=samdom,DC=test\nobjectClass: organizationalUnit\n\n' "${ous[@]}"
  while read -r host uac days ou cn; do
    printf 'dn: CN=%s,%s,DC=samdom,DC=test\nobjectClass: computer\nsAMAccountName: %s$\n' \
      "$cn" "${ous[$ou]}" "${cn//É/E}"
    printf 'userAccountControl: %s\n' "$uac"
    [ "$host" = - ] || printf 'dNSHostName: %s\n' "$host"
    [ "$days" = - ] || printf 'lastLogonTimestamp: %s\n' $(( now - days * 864000000000 ))
    echo
  done < <(for i in $(seq -w 1 24); do echo "ws$i.samdom.test 4096 1 $((10#$i % 3)) WS$i"; done
    printf '%s\n' 'old01.samdom.test 4098 1 1 OLD01' 'old02.samdom.test 4098 - 0 OLD02' \
      'stale01.samdom.test 4096 60 2 STALE01' 'stale02.samdom.test 4096 400 0 STALE02' \
      '- 4096 - 1 NOHOST1' '- 4096 2 2 ÉCLAIR-07' 'out01.samdom.test 4096 1 3 OUT01')
}

computer_ldif >"$folder/computers.ldif"
"$WINESERVER" -k >/dev/null 2>&1 || true
unshare -n -m -u --propagation private bash -s "$session" "$folder" "$here" "$@" <<'INSIDE'
set -uo pipefail
session=$1 folder=$2 here=$3
shift 3
ip link set lo up && hostname dc1 || exit 1
printf '127.0.0.1 localhost dc1.samdom.test dc1 samdom.test ldap.fleet.test\n' >"$folder/hosts"
printf 'nameserver 127.0.0.1\n' >"$folder/resolv.conf"
mount --bind "$folder/hosts" /etc/hosts && mount --bind "$folder/resolv.conf" /etc/resolv.conf \
  || exit 1
samba=$(mktemp -d /tmp/quillmark-samba.XXXXXX) || exit 1
logs=$folder/samba
rm -rf "$logs" && mkdir -p "$logs" && : >"$samba/empty.conf"
samba_pid=
# Ends what this script started, whatever happens.
end_servers() {
  [ -z "$samba_pid" ] || { kill "$samba_pid"; wait "$samba_pid"; } 2>/dev/null
  kill "$(cat "$folder/slapd/slapd.pid" 2>/dev/null)" 2>/dev/null
  "$WINESERVER" -k 2>/dev/null
  rm -rf "$samba"
}
trap end_servers EXIT
# A server that has stopped, or not answered in time, fails the test at once with the end of its
# log.
fail_with_log() {
  echo "$1; the end of $2:"
  tail -n 20 "$2"
  exit 1
}
samba-tool domain provision -s "$samba/empty.conf" --targetdir="$samba" --realm=SAMDOM.TEST \
  --domain=SAMDOM --server-role=dc --dns-backend=SAMBA_INTERNAL --host-name=dc1 \
  --host-ip=127.0.0.1 --adminpass='Quill-mark-1' --option="interfaces=lo" \
  --option="bind interfaces only=yes" --option="server services = -nbt -wrepl -ntp_signd -dnsupdate" \
  --option="load printers = no" --option="printing = bsd" --option="disable spoolss = yes" \
  >"$logs/provision.log" 2>&1 || { cat "$logs/provision.log"; exit 1; }
# Nothing is ever forwarded.
grep -v 'dns forwarder' "$samba/etc/smb.conf" >"$samba/smb.conf" && mv "$samba/smb.conf" "$samba/etc/"
{
  ldbadd -H "$samba/private/sam.ldb" "$folder/computers.ldif" &&
    samba-tool forest directory_service dsheuristics 0000002 -H "$samba/private/sam.ldb" &&
    samba-tool dsacl set -H "$samba/private/sam.ldb" --objectdn=DC=samdom,DC=test \
      --sddl="(A;CI;RPLCLORC;;;AN)"
} >"$logs/accounts.log" 2>&1 || { cat "$logs/accounts.log"; exit 1; }
samba -s "$samba/etc/smb.conf" -i -M single >"$logs/samba.log" 2>&1 </dev/null &
samba_pid=$!
"$here/directory-slapd.sh" "$folder/slapd" 1500 ldap://127.0.0.1:3389/ || exit 1
waited=0
until ldapsearch -x -H ldap://127.0.0.1 -b '' -s base >/dev/null 2>&1; do
  kill -0 "$samba_pid" 2>/dev/null || fail_with_log "Samba exited before it answered" "$logs/samba.log"
  [ $((waited += 1)) -le 600 ] || fail_with_log "Samba did not answer within 60 s" "$logs/samba.log"
  sleep 0.1
done
"$WINESERVER" -p >>"$session/wine/wineserver.log" 2>&1 </dev/null
QUILLMARK_WINE_SESSION=$session/wine QUILLMARK_DIRECTORY_NAMESPACE=1 "$@"
INSIDE
status=$?
# The session's other tests need its persistent server again, outside.
"$WINESERVER" -p >>"$session/wine/wineserver.log" 2>&1 </dev/null
exit $status
