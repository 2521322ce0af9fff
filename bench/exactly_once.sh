#!/usr/bin/env bash
# Every source row foldered exactly once, many times over on a larger library (not run by CI):
# pairs of computers started together on a new demo server, and runs killed with SIGKILL at a
# random row followed by a run to the end. Prints the counts of `stackwright-dm check` and of
# matters not filed exactly once for every round, and their totals.
#   bench/exactly_once.sh PROGRAM DM_TOOL [PAIRS [KILLS [CLIENTS [MATTERS]]]]
# Defaults: 10 pairs on 50 clients / 500 matters, 40 kills on 50 clients / 500 matters.
set -uo pipefail
program="$1"
dm_tool="$2"
pairs="${3:-10}"
kills="${4:-40}"
clients="${5:-50}"
matters="${6:-500}"
here="$(cd "$(dirname "$0")/.." && pwd)"
tests="$here/tests/program"
unclean=0
total=0
# One round: its lines, each with the round's name, and whether the test script found it clean.
round() {
  local name="$1" out status=0
  shift
  out="$(bash "$@" 2>/dev/null)" || status=$?
  echo "$out" | sed "s/^/$name: /"
  total=$((total + 1))
  [ "$status" -eq 0 ] || unclean=$((unclean + 1))
}

for pair in $(seq 1 "$pairs"); do
  round "pair $pair" "$tests/two_computers.sh" "$program" "$dm_tool" 1 "$clients" "$matters"
done
rows=$((2 * matters))  # both libraries' rows, in the order the run takes them
for kill in $(seq 1 "$kills"); do
  round "kill $kill" "$tests/kill_and_rerun.sh" "$program" "$dm_tool" $((RANDOM % rows + 1)) "$clients" "$matters"
done
echo "rounds: $total, not clean: $unclean"
[ "$unclean" -eq 0 ]
