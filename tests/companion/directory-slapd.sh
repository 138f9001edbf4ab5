#!/usr/bin/env bash
# Makes a directory of COUNT enabled computers (pc000001.fleet.test ...) in FOLDER, anew, and starts
# slapd on URL with Active Directory's page limit (1,000 entries unless a search is paged), its
# root DSE's defaultNamingContext (DC=fleet,DC=test), and anonymous reads of all but the schema,
# so that a client reads every value as text. slapd's process id is in FOLDER/slapd.pid.
#   directory-slapd.sh FOLDER COUNT URL     e.g. directory-slapd.sh /tmp/d 100000 ldap://127.0.0.1:3389/
set -euo pipefail
folder=$(mkdir -p "$1" && readlink -f "$1")
count=$2
url=$3
rm -rf "$folder/db" && mkdir -p "$folder/db"
export PATH=$PATH:/usr/sbin

# Active Directory's own OIDs and syntaxes for what a search of computers reads and filters on.
cat >"$folder/computer.schema" <<'SCHEMA'
attributetype ( 1.2.840.113556.1.4.782 NAME 'objectCategory' EQUALITY caseIgnoreMatch
  SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 SINGLE-VALUE )
attributetype ( 1.2.840.113556.1.4.8 NAME 'userAccountControl' EQUALITY integerMatch
  SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 SINGLE-VALUE )
attributetype ( 1.2.840.113556.1.4.1696 NAME 'lastLogonTimestamp' EQUALITY integerMatch
  ORDERING integerOrderingMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 SINGLE-VALUE )
attributetype ( 1.2.840.113556.1.4.619 NAME 'dNSHostName' EQUALITY caseIgnoreMatch
  SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 SINGLE-VALUE )
attributetype ( 1.3.6.1.4.1.4203.666.11.99.1 NAME 'defaultNamingContext'
  EQUALITY distinguishedNameMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.12 SINGLE-VALUE )
objectclass ( 1.2.840.113556.1.3.30 NAME 'computer' SUP top STRUCTURAL MUST cn
  MAY ( objectCategory $ userAccountControl $ lastLogonTimestamp $ dNSHostName ) )
SCHEMA
printf 'dn:\ndefaultNamingContext: DC=fleet,DC=test\n' >"$folder/rootdse.ldif"
cat >"$folder/slapd.conf" <<CONF
include /etc/ldap/schema/core.schema
include $folder/computer.schema
modulepath /usr/lib/ldap
moduleload back_mdb
pidfile $folder/slapd.pid
rootDSE $folder/rootdse.ldif
access to dn.base="cn=Subschema" by * none
access to * by * read
database mdb
suffix "DC=fleet,DC=test"
directory $folder/db
maxsize 4294967296
index objectClass,objectCategory eq
sizelimit size.soft=1000 size.hard=1000 size.pr=1000 size.prtotal=unlimited
CONF

# Each logged on a day ago, as a FILETIME.
logon=$(( ($(date +%s) - 86400 + 11644473600) * 10000000 ))
awk -v count="$count" -v logon="$logon" 'BEGIN {
  print "dn: DC=fleet,DC=test\nobjectClass: dcObject\nobjectClass: organization\ndc: fleet\no: fleet\n"
  print "dn: OU=Computers,DC=fleet,DC=test\nobjectClass: organizationalUnit\nou: Computers\n"
  for (i = 1; i <= count; i++) {
    name = sprintf("pc%06d", i)
    printf "dn: CN=%s,OU=Computers,DC=fleet,DC=test\nobjectClass: computer\ncn: %s\n", name, name
    printf "objectCategory: computer\nuserAccountControl: 4096\nlastLogonTimestamp: %s\n", logon
    printf "dNSHostName: %s.fleet.test\n\n", name
  }
}' >"$folder/computers.ldif"
slapadd -q -f "$folder/slapd.conf" -l "$folder/computers.ldif" >"$folder/slapadd.log" 2>&1
rm -f "$folder/slapd.pid"
# A slapd that stopped, or never answered, fails at once with the end of its log.
fail_with_log() {
  echo "slapd $1; the end of $folder/slapd.log:" >&2
  tail -n 20 "$folder/slapd.log" >&2
  exit 1
}
slapd -f "$folder/slapd.conf" -h "$url" >"$folder/slapd.log" 2>&1 || fail_with_log "did not start"
for _ in $(seq 200); do
  if [ -s "$folder/slapd.pid" ]; then
    ldapsearch -x -H "$url" -b '' -s base >/dev/null 2>&1 && exit 0
    kill -0 "$(cat "$folder/slapd.pid")" 2>/dev/null || fail_with_log "exited before it answered"
  fi
  sleep 0.05
done
fail_with_log "did not answer within 10 s"
