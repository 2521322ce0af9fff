#!/usr/bin/env bash
# The program's exit status for an unattended "/G /X" run, as the README lists it, on a new demo
# server spoilt the way the case says:
#   noserver   the server folder has no server.ini              2 (start-up failed)
#   missing    the current library's file is gone               2
#   notsqlite  the current library's file is not a database     2
#   empty      the current library's file has 0 bytes           2
#   badsetting a check box setting holds a value it cannot take  2
#   readonly   every library may be read but not written        1 (errors logged)
set -euo pipefail
program="$1"
dm_tool="$2"
case_name="$3"
source "$(dirname "$0")/demo_server.sh"
library="$STACKWRIGHT_DM_SERVER/LAWLIB.sqlite"
run_as=()
case "$case_name" in
  noserver) rm "$STACKWRIGHT_DM_SERVER/server.ini"; expected=2 ;;
  missing) rm "$library"; expected=2 ;;
  notsqlite) echo "not a database" >"$library"; expected=2 ;;
  empty) : >"$library"; expected=2 ;;
  badsetting)
    # The store writes the section General as "[%General]": an edit goes there.
    mkdir -p "$XDG_CONFIG_HOME"
    printf '%s\n' '[%General]' 'Loop=7' >"$XDG_CONFIG_HOME/Quillmark Stackwright for OpenText eDOCS.ini"
    expected=2 ;;
  readonly)
    chmod 444 "$STACKWRIGHT_DM_SERVER"/*.sqlite
    # Root writes whatever the permissions say: the run goes as another user, who still needs the
    # folders for the log, the settings and the databases' shared-memory files.
    if [ "$(id -u)" -eq 0 ]; then
      command -v setpriv >/dev/null || { echo "setpriv is needed to run without root's rights"; exit 77; }
      chmod 777 "$work" "$STACKWRIGHT_DM_SERVER"
      # The build folder may be private to root (a checkout under /root): the other user runs a
      # copy of the program.
      install -m 755 "$program" "$work/stackwright"
      program="$work/stackwright"
      run_as=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    fi
    expected=1 ;;
  *) echo "unknown case $case_name"; exit 2 ;;
esac

status=0
"${run_as[@]}" "$program" /G /X >"$work/run.out" 2>&1 || status=$?
echo "exit status: $status (expected $expected)"
[ "$status" -eq "$expected" ] || { cat "$work/run.out"; exit 1; }
if [ "$case_name" = noserver ]; then
  grep -q "cannot open the DM server" "$work/run.out" || { echo "not said on standard error"; exit 1; }
fi
if [ "$case_name" = badsetting ]; then
  grep -q 'the setting Loop in section General holds "7"' "$work/run.out" || { echo "the setting is not named"; exit 1; }
fi
if [ "$case_name" = readonly ]; then
  grep -q "Error: .*readonly database" "$work"/*.LOG || { echo "no failed row in the log"; exit 1; }
fi
