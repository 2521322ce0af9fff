#!/usr/bin/env bash
# Two computers on one demo server: two unattended runs with their own computer names and
# settings, started together, a number of times on a new server each. Each time `check` must
# find nothing, every matter of both libraries must have exactly one folder under its client and
# one record, and the two must together have worked each row once: a rule both computers won
# would have its rows worked twice.
# Arguments: program, DM tool, rounds, clients, matters.
set -euo pipefail
program="$1"
dm_tool="$2"
rounds="${3:-3}"
clients="${4:-30}"
matters="${5:-300}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export STACKWRIGHT_DM_SERVER="$work/server" QT_QPA_PLATFORM=offscreen
source "$(dirname "$0")/folder_counts.sh"

failed=0
for round in $(seq 1 "$rounds"); do
  rm -rf "$work"/server "$work"/pc_*
  "$dm_tool" init "$STACKWRIGHT_DM_SERVER" --demo --clients "$clients" --matters "$matters" >/dev/null
  pids=()
  for pc in pc_a pc_b; do
    mkdir -p "$work/$pc"
    STACKWRIGHT_COMPUTER_NAME="$pc" XDG_CONFIG_HOME="$work/$pc/config" TEMP="$work/$pc" \
      "$program" /G /X /V >"$work/$pc/run.out" 2>&1 &
    pids+=($!)
  done
  for i in 0 1; do
    status=0
    wait "${pids[$i]}" || status=$?
    [ "$status" -eq 0 ] || { echo "round $round: computer $i ended with $status"; cat "$work"/pc_*/run.out; failed=1; }
  done
  summary="$(check_summary)" || failed=1
  echo "round $round: $summary"
  for library in LAWLIB ORALIB; do
    wrong=$(matters_not_filed_once "$library")
    counts="$(tracked_against_source "$library")"
    echo "round $round: $library matters not filed exactly once: $wrong, matters/tracked: $counts"
    [ "$wrong" -eq 0 ] && [ "${counts%/*}" -eq "${counts#*/}" ] || failed=1
  done
  worked=$(rows_begun "$work"/pc_a "$work"/pc_b)
  echo "round $round: rows worked by the two computers: $worked of $((2 * matters))"
  [ "$worked" -eq $((2 * matters)) ] || failed=1
done
exit "$failed"
