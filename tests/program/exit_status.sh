#!/usr/bin/env bash
# The program's exit status for an unattended "/G /X" run, as the README lists it, on a new demo
# server spoilt the way the case says:
#   clean      nothing spoilt                                   0, with nothing on standard error
#   noserver   the server folder has no server.ini              2 (start-up failed), the log naming it
#   missing    the current library's file is gone               2
#   notsqlite  the current library's file is not a database     2
#   empty      the current library's file has 0 bytes           2
#   libmissing another library's file is gone                  1, the log naming the missing file
#   libcorrupt another library's file is not a database         1, the log saying so
#   badsetting a check box setting holds a value it cannot take  2
#   readonly   every library may be read but not written        1 (errors logged)
#   nolog      TEMP unset, TMPDIR a folder the user cannot write 0, the log in /tmp, said last (2, and no
#                                                                log, when another user's log is there)
#   logfull    the log's disk is full (/dev/full), and errors   1, every error in TMPDIR's log, both named last
#   refused    the demo rule's source table is gone              1, with the untick and the last
#              line on standard error naming the errors and the log; later runs skip it with 0,
#              saying so last, also once the table is back
#   staleclaim /NV, another computer's claim of 3 days ago on the    0, the skip said last, naming the
#              rule in LAWLIB                                    computer and how to clear the claim
#   nothing    no library ticked                                 1, a warning, said last
#   norule     the libraries ticked, every rule not               the same
#   sigterm    SIGTERM twice in the folder loop, as timeout(1)   143 (the signal's), one orderly stop,
#              sends it                                          claims released
#   nvcause    /NV, the rule's saved statement names no table    1, the cause in the log
#   locked     SIGTERM twice, another writer holding the lock    143 within one busy timeout and a
#              past the busy timeout                             margin, the claim released or named
#   startlocked the same from before start-up's first write      the same, its lines logged before the wait
#   secondsignal SIGTERM under the lock, then SIGINT              130 at once, saying so and naming the claim
#                                                                it leaves, in the log (stamped, not before the
#                                                                first signal's line) and on standard error
#   help       --help, without any display                       0, the switches and statuses
#   nodisplay  /G /X without any display, and with a DISPLAY     0 (the window alone: 2, and why)
#              that names no display
#   offscreen  the window alone, drawn offscreen                  2, and why
# The last line on standard error is checked as `last` says (every status 2 says so), the log as `logged` does.
# No end leaves anything but settings files in the configuration folder, nor (but an end at once) in TMPDIR.
set -euo pipefail
program="$1"
dm_tool="$2"
case_name="$3"
source "$(dirname "$0")/demo_server.sh"
source "$(dirname "$0")/folder_counts.sh"
mkdir -m 1777 "$work/tmp" && export TMPDIR="$work/tmp"
left_behind() {
  find "$XDG_CONFIG_HOME" -mindepth 1 ! -name '*.ini'
  [ "$1" = config ] || find "$TMPDIR" -name 'stackwright-*'
} 2>/dev/null
library="$STACKWRIGHT_DM_SERVER/LAWLIB.sqlite"
settings="$XDG_CONFIG_HOME/Quillmark Stackwright for OpenText eDOCS.ini"
ended="^Quillmark Stackwright for OpenText eDOCS ended with status"
errors="$ended 1: 1 error(s) logged (rule CLIENT MATTERS in library LAWLIB); see the log $work/"
oralib="$ended 1: 1 error(s) logged (library ORALIB); see the log $work/"
last="" logged=""
run_as=()
# A stop as timeout(1) sends it: to the program and at once to its process group (the program
# leads its own, started through setsid).
stop_as_timeout_does() {
  kill -TERM "$1" && kill -TERM -- "-$1" 2>/dev/null || true
}
# Root writes whatever the permissions say: the run goes as another user, who still needs the
# folders for the log, the settings and the databases' shared-memory files.
as_another_user() {
  [ "$(id -u)" -eq 0 ] || return 0
  command -v setpriv >/dev/null || { echo "setpriv is needed to run without root's rights"; exit 77; }
  chmod 777 "$work" "$STACKWRIGHT_DM_SERVER"
  # The build folder may be private to root (a checkout under /root): the other user runs a copy
  # of the program.
  install -m 755 "$program" "$work/stackwright"
  program="$work/stackwright"
  run_as=(setpriv --reuid=65534 --regid=65534 --clear-groups)
}
case "$case_name" in
  noserver) rm "$STACKWRIGHT_DM_SERVER/server.ini"; expected=2 logged="cannot open the DM server at \"$STACKWRIGHT_DM_SERVER\"" ;;
  missing) rm "$library"; expected=2 last="$ended 2: 1 error(s) logged (library LAWLIB); see the log" ;;
  notsqlite) echo "not a database" >"$library"; expected=2 ;;
  empty) : >"$library"; expected=2 ;;
  libmissing) rm "$STACKWRIGHT_DM_SERVER/ORALIB.sqlite"; expected=1 last="$oralib" logged="ORALIB.sqlite does not exist" ;;
  libcorrupt)
    echo "not a database" >"$STACKWRIGHT_DM_SERVER/ORALIB.sqlite"
    expected=1 last="$oralib" logged="ORALIB.sqlite cannot be opened: file is not a database" ;;
  badsetting)
    # The store writes the section General as "[%General]": an edit goes there.
    mkdir -p "$XDG_CONFIG_HOME"
    printf '%s\n' '[%General]' 'Loop=7' >"$settings"
    expected=2 ;;
  nothing | norule)
    ticks=('[Libraries]' 'LAWLIB=0' 'ORALIB=0')
    [ "$case_name" = nothing ] || ticks=('[Rules]' 'LAWLIB%3ACLIENT%20MATTERS=0' 'ORALIB%3ACLIENT%20MATTERS=0')
    mkdir -p "$XDG_CONFIG_HOME"
    printf '%s\n' "${ticks[@]}" >"$settings"
    expected=1 last="$ended 1: nothing was ticked to process; see the log" logged="Warning: .*Nothing was processed" ;;
  readonly)
    chmod 444 "$STACKWRIGHT_DM_SERVER"/*.sqlite
    as_another_user
    expected=1 ;;
  nolog)
    mkdir -m 555 "$work/locked"; chmod a+w "$STACKWRIGHT_DM_SERVER"/*; as_another_user
    unset TEMP; export TMPDIR="$work/locked"
    spare="/tmp/Quillmark Stackwright for OpenText eDOCS_$(date +%Y%m%d).LOG"
    expected=0 last="(its folder $work/locked cannot be written) - the log goes to $spare instead$"
    [ -e "$spare" ] || trap 'rm -rf "$work" "$spare"' EXIT
    # Another user's log there leaves no folder for it: start-up ends before any work, and says so.
    if [ -e "$spare" ] && ! "${run_as[@]}" test -w "$spare"; then
      expected=2 last="$ended 2: 0 error(s) logged; no log file was written at $work/locked/"
    fi ;;
  logfull)
    "$dm_tool" sql "$STACKWRIGHT_DM_SERVER" LAWLIB "ALTER TABLE MATTER RENAME TO MATTER_GONE" >/dev/null
    mkdir "$work/spare"; export TMPDIR="$work/spare"
    log="Quillmark Stackwright for OpenText eDOCS_$(date +%Y%m%d).LOG"; ln -s /dev/full "$work/$log"
    expected=1 last="${errors%see*}see the logs $work/$log and $work/spare/$log$" ;;
  staleclaim)
    "$dm_tool" sql "$STACKWRIGHT_DM_SERVER" LAWLIB "INSERT INTO TARN_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL,
      DATE_VAL) VALUES ('QUILLMARK', 'STACKWRIGHT', 'RUNNING_NODES', 'OTHERPC:CLIENT MATTERS', '$(date -d '3 days ago' '+%F %T')')" >/dev/null
    logged="Rule CLIENT MATTERS in library LAWLIB is skipped: computer OTHERPC claimed it on .* Clear Running Nodes"
    expected=0 last="^Warning: $logged" ;;
  refused)
    "$dm_tool" sql "$STACKWRIGHT_DM_SERVER" LAWLIB "ALTER TABLE MATTER RENAME TO MATTER_GONE" >/dev/null
    expected=1 last="$errors" ;;
  sigterm)
    "$dm_tool" init "$STACKWRIGHT_DM_SERVER" --demo --force --clients 6 --matters 400 >/dev/null
    expected=143 ;;
  nvcause)
    "$dm_tool" sql "$STACKWRIGHT_DM_SERVER" LAWLIB "INSERT INTO TARN_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL,
      KEY_TYPE) VALUES ('QUILLMARK', 'RULE_STACKWRIGHT_SQL_1', 'CLIENT MATTERS', 'SELECT<SPC>*<SPC>FROM<SPC>nowhere', 1)" >/dev/null
    mkdir -p "$XDG_CONFIG_HOME"  # the saved statement runs with "Re-use existing SQL statements"
    printf '%s\n' '[%General]' 'ReUseSQL=1' >"$XDG_CONFIG_HOME/Quillmark Stackwright for OpenText eDOCS.ini"
    expected=1 ;;
  locked | startlocked | secondsignal)
    # Enough matters that the run is still in its folder loop when the other writer gets the lock,
    # however busy the machine: once it has, the run ends within the stop's bound.
    "$dm_tool" init "$STACKWRIGHT_DM_SERVER" --demo --force --clients 6 --matters 4000 >/dev/null
    mkdir -p "$XDG_CONFIG_HOME"  # Oracle libraries hold no claims: the run works in LAWLIB alone
    printf '%s\n' '[Libraries]' 'ORALIB=0' >"$XDG_CONFIG_HOME/Quillmark Stackwright for OpenText eDOCS.ini"
    expected=143
    [ "$case_name" != secondsignal ] || expected=130 ;;
  clean | help | nodisplay)
    expected=0 ;;
  offscreen) expected=2 ;;
  *) echo "unknown case $case_name"; exit 2 ;;
esac
[ "$expected" -ne 2 ] || [ -n "$last" ] || last="$ended 2: "

status=0
if [ "$case_name" = help ]; then
  for asked in --help -h /?; do
    status=0
    env -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY timeout 20 "$program" "$asked" >"$work/run.out" 2>&1 || status=$?
    [ "$status" -eq 0 ] && grep -q "^Exit status" "$work/run.out" && grep -q "/NV" "$work/run.out" ||
      { echo "$asked: status $status"; cat "$work/run.out"; exit 1; }
  done
elif [ "$case_name" = nodisplay ]; then
  for display in "" :987; do
    shown=(env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY DISPLAY="$display")
    "${shown[@]}" timeout 20 "$program" >"$work/run.out" 2>&1 || status=$?
    [ "$status" -eq 2 ] && grep -q "no display" "$work/run.out" && tail -n 1 "$work/run.out" | grep -q "$ended 2: " ||
      { echo "window on the display '$display': $status"; cat "$work/run.out"; exit 1; }
    status=0
    "${shown[@]}" timeout 60 "$program" /g /x /NV >"$work/run.out" 2>&1 || status=$?
    [ "$status" -eq 0 ] || break
  done
elif [ "$case_name" = sigterm ]; then
  setsid "$program" /G /X /V >"$work/run.out" 2>&1 &
  pid=$!
  while kill -0 "$pid" 2>/dev/null && [ "$(rows_begun "$work")" -lt 5 ]; do sleep 0.01; done
  SECONDS=0
  stop_as_timeout_does "$pid"
  wait "$pid" || status=$?
  echo "ended $SECONDS s after SIGTERM"
  [ "$SECONDS" -le 20 ] || { echo "too slow to stop"; exit 1; }
  grep -q "SIGTERM received" "$work"/*.LOG && grep -q "Warning: .*Stopped on request" "$work"/*.LOG ||
    { echo "no orderly stop in the log"; exit 1; }
  summary="$(check_summary)" || { echo "$summary"; exit 1; }
  echo "$summary"
elif [ "$case_name" = offscreen ]; then
  timeout 20 "$program" >"$work/run.out" 2>"$work/run.err" || status=$?
  grep -q "no display" "$work/run.err" || { echo "not said why"; cat "$work/run.err"; exit 1; }
elif [ "$case_name" = locked ] || [ "$case_name" = startlocked ] || [ "$case_name" = secondsignal ]; then
  setsid "$program" /G /X /V >"$work/run.out" 2>"$work/run.err" &
  pid=$!
  [ "$case_name" != startlocked ] || kill -STOP "$pid"  # start-up goes on once the lock is held
  while [ "$case_name" != startlocked ] && kill -0 "$pid" 2>/dev/null && [ "$(rows_begun "$work")" -lt 5 ]; do sleep 0.01; done
  # Another writer tries for the write lock until it has it (between two groups of rows), then
  # holds it for 30 s, past the busy timeout (15 s) and the margin: the stop's waits together end
  # within the busy timeout, then the row in hand fails and the claim that cannot go is named.
  ( { echo ".bail off"
      until grep -q "within a transaction" "$work/lock.out" || ! kill -0 "$pid" 2>/dev/null; do
        (yes "BEGIN IMMEDIATE;" || true) | head -n 2000
      done
      echo "SELECT * FROM lock_held;"; sleep 30; echo "COMMIT;"; } | sqlite3 "$library" ) >"$work/lock.out" 2>&1 &
  locker=$!
  until grep -q "lock_held" "$work/lock.out" 2>/dev/null; do sleep 0.05; done
  grep -q "within a transaction" "$work/lock.out" || { echo "the run ended before the lock was taken"; exit 1; }
  if [ "$case_name" = startlocked ]; then
    # Once start-up waits for the lock, the lines before the wait are in the log, not only once
    # the wait has ended (with an error, the busy timeout later).
    kill -CONT "$pid"
    until grep -q "^BEGIN TRANSACTION" "$work"/*.LOG 2>/dev/null; do kill -0 "$pid" || break; sleep 0.05; done
    grep -q "^BEGIN TRANSACTION" "$work"/*.LOG && ! grep -q "database is locked" "$work"/*.LOG ||
      { echo "the lines before the wait are not in the log"; exit 1; }
  fi
  SECONDS=0
  stop_as_timeout_does "$pid"
  if [ "$case_name" = secondsignal ]; then
    until grep -q "SIGTERM received" "$work"/*.LOG; do kill -0 "$pid" || break; sleep 0.05; done
    kill -INT "$pid"
  fi
  wait "$pid" || status=$?
  stopped=$SECONDS
  echo "ended $stopped s after SIGTERM"
  wait "$locker" || true  # the shell ends with the errors of its tries
  [ "$stopped" -le 22 ] || { echo "the stop waited for the lock"; exit 1; }
  if [ "$case_name" = secondsignal ]; then
    claims="$(value_of LAWLIB "SELECT COUNT(*) FROM TARN_SETTINGS WHERE SUB_KEY = 'RUNNING_NODES'")"
    ending="SIGINT received while stopping - the program ends at once, leaving any row in hand to the next run"
    left="$ending and the claim of computer [^ ]* on rule CLIENT MATTERS in library LAWLIB: other computers skip the rule until"
    # The log's line carries the log's stamp after the label, none earlier than the stop's.
    stamp='[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{2}'
    [ "$claims" -eq 1 ] && grep -q "^Warning: $left" "$work/run.err" && grep -Eq "^Warning: $stamp  $left" "$work"/*.LOG ||
      { echo "the end at once is not said, or not the claim it leaves ($claims left)"; cat "$work/run.err"; exit 1; }
    stamps="$(grep -Eo "^Warning: $stamp  SIG(TERM|INT) received" "$work"/*.LOG | cut -c10-31)"
    [ "$(echo "$stamps" | wc -l)" -eq 2 ] && [ "$(echo "$stamps" | sort)" = "$stamps" ] ||
      { echo "the stamps go back:"; echo "$stamps"; exit 1; }
    echo "exit status: $status (expected $expected)"
    [ "$status" -eq "$expected" ] || exit 1
    [ -z "$(left_behind config)" ] || { echo "left behind: $(left_behind config)"; exit 1; }
    exit 0
  fi
  grep -q "Warning: .*Stopped on request" "$work"/*.LOG || { echo "the stop of the run is not logged"; exit 1; }
  # Logged as it arrives, not once the wait in hand has ended.
  [ "$case_name" = startlocked ] || sed -n '/SIGTERM received/,$p' "$work"/*.LOG | grep -q "Unable to begin the work on item" ||
    { echo "the stop is logged only after the lock wait"; exit 1; }
  cat "$work/run.err" >>"$work/run.out"
  claims="$(value_of LAWLIB "SELECT COUNT(*) FROM TARN_SETTINGS WHERE SUB_KEY = 'RUNNING_NODES'")"
  warning="Warning: .*The claim of computer .* on rule CLIENT MATTERS in library LAWLIB could not be released"
  [ "$claims" -eq 0 ] || { grep -q "$warning" "$work/run.err" && grep -q "$warning" "$work"/*.LOG; } ||
    { echo "the claim is left without a word"; exit 1; }
else
  "${run_as[@]}" "$program" /G /X $([ "$case_name" = nvcause ] || [ "$case_name" = staleclaim ] && echo /NV) >"$work/run.out" 2>"$work/run.err" || status=$?
  cat "$work/run.err" >>"$work/run.out"
fi
echo "exit status: $status (expected $expected)"
[ "$status" -eq "$expected" ] || { cat "$work/run.out"; exit 1; }
[ -z "$last" ] || tail -n 1 "$work/run.err" | grep -q "$last" || { echo "not said last: $last"; cat "$work/run.err"; exit 1; }
[ -z "$logged" ] || grep -q "$logged" "$work"/*.LOG || { echo "not logged: $logged"; exit 1; }
if [ "$case_name" = clean ] && [ -s "$work/run.err" ]; then
  echo "standard error holds more than the program's own lines:"; cat "$work/run.err"; exit 1
fi
if [ "$case_name" = noserver ]; then
  grep -q "cannot open the DM server" "$work/run.out" || { echo "not said on standard error"; exit 1; }
fi
if [ "$case_name" = badsetting ]; then
  grep -q 'the setting Loop in section General holds "7"' "$work/run.out" || { echo "the setting is not named"; exit 1; }
fi
if [ "$case_name" = refused ]; then
  grep -q "Rule .* in library LAWLIB was unticked after this failure" "$work/run.err" || { echo "the untick is not said"; exit 1; }
  skipped="Rule CLIENT MATTERS in library LAWLIB is skipped: it was unticked after a failure on "
  for later in second third; do
    [ "$later" = second ] || "$dm_tool" sql "$STACKWRIGHT_DM_SERVER" LAWLIB "ALTER TABLE MATTER_GONE RENAME TO MATTER" >/dev/null
    status=0
    "$program" /G /X /NV >"$work/$later.out" 2>"$work/$later.err" || status=$?
    [ "$status" -eq 0 ] && tail -n 1 "$work/$later.err" | grep -q "^Warning: $skipped" && grep -q "$skipped" "$work"/*.LOG ||
      { echo "$later run: status $status, the skip not said last"; cat "$work/$later.err"; exit 1; }
  done
fi
if [ "$case_name" = nvcause ]; then
  grep -q "^SQL Error #1 (no such table: nowhere) encountered in library LAWLIB" "$work"/*.LOG ||
    { echo "the cause is not in the log"; exit 1; }
fi
# Each failure counts once however many lines tell it; the last line names where they were.
if [ "$case_name" = nvcause ] || [ "$case_name" = locked ]; then
  counted="$(tail -n 1 "$work/run.err" | sed -nE 's/.*: ([0-9]+) error\(s\) logged.*/\1/p')"
  logged="$(cat "$work"/*.LOG | grep -ciE '^(error:|sql error #)' || true)"
  [ -n "$counted" ] && [ "$counted" -ge 1 ] && [ "$counted" -le "$logged" ] &&
    tail -n 1 "$work/run.err" | grep -q " error(s) logged (.*library LAWLIB.*); see the log" ||
    { echo "errors on standard error: $counted, lines in the log: $logged"; tail -n 1 "$work/run.err"; exit 1; }
  [ "$case_name" = locked ] || [ "$counted" -eq 1 ] || { echo "one refused statement counted $counted times"; exit 1; }
fi
if [ "$case_name" = logfull ]; then  # the full log reads as endless zeros: only the spare one is read
  counted="$(tail -n 1 "$work/run.err" | sed -nE 's/.*: ([0-9]+) error\(s\) logged.*/\1/p')"
  logged="$(grep -ciE '^(error:|sql error #)' "$work/spare/$log" || true)"
  [ "$counted" -le "$logged" ] && grep -q "^Warning: .* (No space left on device) - the log goes on in $work/spare/" \
    "$work/spare/$log" || { echo "errors on standard error: $counted, in the spare log: $logged"; exit 1; }
  grep -q "^LogFile=$work/Quillmark" "$settings" || { echo "the configured log is not kept"; exit 1; }
fi
if [ "$case_name" = readonly ]; then
  grep -q "Error: .*readonly database" "$work"/*.LOG || { echo "no failed row in the log"; exit 1; }
fi
[ -z "$(left_behind all)" ] || { echo "left behind: $(left_behind all)"; exit 1; }
