#!/usr/bin/env bash
# Runs the stand-in's own throwaway Wine session, with the stand-in registered for "winmgmts:".
#   standin-session.sh start FOLDER win32|win64 DLL      standin-session.sh stop FOLDER
# The prefix is never the one the other tests use: they need the real management service.
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
session=$here/../../cmake/wine-session.sh
# shellcheck source=cmake/wine-arch.sh
. "$here/../../cmake/wine-arch.sh"
action=$1
folder=$(readlink -f "$2")

register() {
  local dll clsid classes log wsman
  dll=$(readlink -f "$1")
  clsid='{7959159C-845D-478C-ACCA-774E8256AFD8}'
  classes='HKLM\Software\Classes'
  log=$folder/wine/register.log
  # shellcheck source=/dev/null
  . "$folder/wine/env.sh"
  : >"$log"
  # The scheme is resolved through its ProgID, looked up machine-wide.
  wine_reg_add "$log" "$classes\\winmgmts" /ve /d 'Stand-in management service'
  wine_reg_add "$log" "$classes\\winmgmts\\CLSID" /ve /d "$clsid"
  wine_reg_add "$log" "$classes\\CLSID\\$clsid" /ve /d 'Stand-in management service'
  wine_reg_add "$log" "$classes\\CLSID\\$clsid\\InprocServer32" /ve /d "Z:${dll//\//\\}"
  wine_reg_add "$log" "$classes\\CLSID\\$clsid\\InprocServer32" /v ThreadingModel /d Apartment
  # The WS-Management stand-in, under the ProgID and class the platform's own object has.
  wsman='{BCED617B-EC03-420B-8508-977DC7A686BD}'
  wine_reg_add "$log" "$classes\\WSMan.Automation\\CLSID" /ve /d "$wsman"
  wine_reg_add "$log" "$classes\\CLSID\\$wsman" /ve /d 'Stand-in WS-Management'
  wine_reg_add "$log" "$classes\\CLSID\\$wsman\\InprocServer32" /ve /d "Z:${dll//\//\\}"
  wine_reg_add "$log" "$classes\\CLSID\\$wsman\\InprocServer32" /v ThreadingModel /d Apartment
  echo "Stand-in service registered: $dll"
}

case "$action" in
  start)
    "$session" start "$folder" "$3"
    register "$4"
    ;;
  stop)
    "$session" stop "$folder"
    ;;
  *)
    echo "usage: $0 start FOLDER win32|win64 DLL | stop FOLDER" >&2
    exit 2
    ;;
esac
