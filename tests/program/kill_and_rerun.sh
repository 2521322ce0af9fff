#!/usr/bin/env bash
# A run killed with SIGKILL at several moments spread over its folder loop, each on a new demo
# server and each followed by a run to the end: `check` must find nothing and the matters
# recorded as processed must equal the matters. Every kill must land inside the folder loop (a
# run that ended first proves nothing), and at least one between the rows of a group of rows
# not yet committed, which the next run must do again. Right after each kill, every matter
# recorded as processed must have its lines in the killed run's log. The folder the killed run left in
# TMPDIR goes with the next run, which leaves nothing but settings files in the configuration folder.
# Arguments: program, DM tool, kill points (rows begun before the kill, comma-separated), clients,
# matters.
set -euo pipefail
program="$1"
dm_tool="$2"
points="${3:-3,22,47,69}"
clients="${4:-6}"
# Enough matters that the last kill point lies far from the end of the run even on a loaded
# machine: a row takes about a millisecond, and the watch below may look only every 100 ms or so.
matters="${5:-300}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export STACKWRIGHT_DM_SERVER="$work/server" XDG_CONFIG_HOME="$work/config" STACKWRIGHT_COMPUTER_NAME=KILLED_PC
export TMPDIR="$work/tmp"
export QT_QPA_PLATFORM=offscreen
source "$(dirname "$0")/folder_counts.sh"

# Rows the killed run's log shows begun since the last commit it shows. The log is written just
# before each commit: these are the rows of the group whose commit came last, and more than one
# means that the kill came after a group of several rows had begun, in its commit or after it.
rows_since_commit() {
  cat "$1"/*.LOG 2>/dev/null | awk '/^COMMIT( TRANSACTION)?\r?$/ {n = 0} /^Processing folder item #/ {n++} END {print n + 0}'
}

# Matters the library records as processed whose tracking insert the killed run's log lacks. The
# log is written before every commit, so after a kill it holds every line of the rows committed.
tracked_not_logged() {
  local recorded logged
  recorded="$("$dm_tool" sql "$STACKWRIGHT_DM_SERVER" "$1" "SELECT SID FROM TARN_STACKWRIGHT WHERE TABLE_NAME = 'MATTER'")"
  recorded="$(echo "$recorded" | grep -E '^[0-9]+$' | sort -u)"
  logged="$(cat "$work"/killed/*.LOG | awk -v library="$1" '{sub(/\r$/, "")}
    / SQL Instruction on / {on = $NF}
    on == library && match($0, /^INSERT INTO .*TARN_STACKWRIGHT .*VALUES ?\([0-9]+, .MATTER./) {
      sub(/.*VALUES ?\(/, ""); sub(/,.*/, ""); print}' | sort -u)"
  comm -23 <(echo "$recorded") <(echo "$logged") | grep -c . || true
}

failed=0
between_rows=0
for point in ${points//,/ }; do
  rm -rf "$work/server" "$work/config" "$work/killed" "$work/rest" "$TMPDIR"
  mkdir -p "$work/killed" "$work/rest" "$TMPDIR"
  "$dm_tool" init "$STACKWRIGHT_DM_SERVER" --demo --clients "$clients" --matters "$matters" >/dev/null
  TEMP="$work/killed" "$program" /G /X /V >/dev/null 2>&1 &
  pid=$!
  while kill -0 "$pid" 2>/dev/null && [ "$(rows_begun "$work/killed")" -lt "$point" ]; do sleep 0.01; done
  kill -KILL "$pid" 2>/dev/null || true
  killed=0
  wait "$pid" 2>/dev/null || killed=$?
  begun="$(rows_begun "$work/killed")"
  rows="$(( $(value_of LAWLIB "SELECT COUNT(*) FROM MATTER") + $(value_of ORALIB "SELECT COUNT(*) FROM MATTER") ))"
  # Killed by the signal (128 + 9) after the point was reached and before the last row began.
  if [ "$killed" -ne 137 ] || [ "$begun" -lt "$point" ] || [ "$begun" -ge "$rows" ]; then
    echo "kill at row $point: no kill landed in the folder loop (exit $killed, $begun of $rows rows begun)"
    failed=1
  fi
  open_group="$(rows_since_commit "$work/killed")"
  echo "kill at row $point: $begun rows begun, $open_group of them since the last commit"
  [ "$open_group" -lt 2 ] || between_rows=$((between_rows + 1))
  for library in LAWLIB ORALIB; do
    missing="$(tracked_not_logged "$library")"
    [ "$missing" -eq 0 ] || { echo "kill at row $point: $missing matters tracked in $library are not in the log"; failed=1; }
  done
  [ -d "$TMPDIR/stackwright-settings-$pid-"* ] || { echo "kill at row $point: no folder left to remove"; failed=1; }
  status=0
  TEMP="$work/rest" "$program" /G /X /NV >"$work/rest.out" 2>&1 || status=$?
  left="$(find "$TMPDIR" -name 'stackwright-*'; find "$XDG_CONFIG_HOME" -mindepth 1 ! -name '*.ini')"
  [ -z "$left" ] || { echo "kill at row $point: left behind: $left"; failed=1; }
  [ "$status" -eq 0 ] || { echo "kill at row $point: the run after it ended with $status"; cat "$work/rest.out"; failed=1; }
  summary="$(check_summary)" || failed=1
  echo "kill at row $point: $summary"
  for library in LAWLIB ORALIB; do
    counts="$(tracked_against_source "$library")"
    echo "kill at row $point: $library matters/tracked $counts, not filed exactly once $(matters_not_filed_once "$library")"
    [ "${counts%/*}" -eq "${counts#*/}" ] || failed=1
  done
done
[ "$between_rows" -gt 0 ] || { echo "no kill landed between the rows of a group not yet committed"; failed=1; }
exit "$failed"
