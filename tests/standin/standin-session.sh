#!/usr/bin/env bash
# Runs the stand-in's own throwaway Wine session, with the stand-in registered for "winmgmts:".
#   standin-session.sh start FOLDER win32|win64 DLL      standin-session.sh stop FOLDER
# The prefix is never the one the other tests use: they need the real management service.
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
session=$here/../../cmake/wine-session.sh
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
  # Wine now and then fails to start a program in a prefix that is still settling ("Application
  # could not be started"): each key is tried again a few times before the session fails.
  add_key() {
    local attempt
    for attempt in 1 2 3 4 5; do
      "$WINELOADER" reg add "$@" /f >>"$log" 2>&1 && return 0
      sleep "$attempt"
    done
    cat "$log" >&2
    return 1
  }
  # The scheme is resolved through its ProgID, looked up machine-wide.
  add_key "$classes\\winmgmts" /ve /d 'Stand-in management service'
  add_key "$classes\\winmgmts\\CLSID" /ve /d "$clsid"
  add_key "$classes\\CLSID\\$clsid" /ve /d 'Stand-in management service'
  add_key "$classes\\CLSID\\$clsid\\InprocServer32" /ve /d "Z:${dll//\//\\}"
  add_key "$classes\\CLSID\\$clsid\\InprocServer32" /v ThreadingModel /d Apartment
  # The WS-Management stand-in, under the ProgID and class the platform's own object has.
  wsman='{BCED617B-EC03-420B-8508-977DC7A686BD}'
  add_key "$classes\\WSMan.Automation\\CLSID" /ve /d "$wsman"
  add_key "$classes\\CLSID\\$wsman" /ve /d 'Stand-in WS-Management'
  add_key "$classes\\CLSID\\$wsman\\InprocServer32" /ve /d "Z:${dll//\//\\}"
  add_key "$classes\\CLSID\\$wsman\\InprocServer32" /v ThreadingModel /d Apartment
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
