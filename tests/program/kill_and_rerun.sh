#!/usr/bin/env bash
# A run killed with SIGKILL at several moments spread over its folder loop, each on a new demo
# server and each followed by a run to the end: `check` must find nothing and the matters
# recorded as processed must equal the matters.
# Arguments: program, DM tool, kill points (rows begun before the kill, comma-separated), clients,
# matters.
set -euo pipefail
program="$1"
dm_tool="$2"
points="${3:-3,22,47,69}"
clients="${4:-6}"
matters="${5:-40}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export STACKWRIGHT_DM_SERVER="$work/server" XDG_CONFIG_HOME="$work/config" STACKWRIGHT_COMPUTER_NAME=KILLED_PC
export QT_QPA_PLATFORM=offscreen
source "$(dirname "$0")/folder_counts.sh"

failed=0
for point in ${points//,/ }; do
  rm -rf "$work/server" "$work/config" "$work/killed" "$work/rest"
  mkdir -p "$work/killed" "$work/rest"
  "$dm_tool" init "$STACKWRIGHT_DM_SERVER" --demo --clients "$clients" --matters "$matters" >/dev/null
  TEMP="$work/killed" "$program" /G /X /V >/dev/null 2>&1 &
  pid=$!
  while kill -0 "$pid" 2>/dev/null && [ "$(rows_begun "$work/killed")" -lt "$point" ]; do sleep 0.01; done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  status=0
  TEMP="$work/rest" "$program" /G /X >"$work/rest.out" 2>&1 || status=$?
  [ "$status" -eq 0 ] || { echo "kill at row $point: the run after it ended with $status"; cat "$work/rest.out"; failed=1; }
  summary="$(check_summary)" || failed=1
  echo "kill at row $point: $summary"
  for library in LAWLIB ORALIB; do
    counts="$(tracked_against_source "$library")"
    echo "kill at row $point: $library matters/tracked $counts, not filed exactly once $(matters_not_filed_once "$library")"
    [ "${counts%/*}" -eq "${counts#*/}" ] || failed=1
  done
done
exit "$failed"
