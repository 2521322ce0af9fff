#!/usr/bin/env bash
# The program end to end, as the README's first command runs it: a new demo server, an
# unattended "/G /X" run, then the processed rows and folders it must have left behind, and a
# second run that must find nothing new.
set -euo pipefail
program="$1"
dm_tool="$2"
source "$(dirname "$0")/demo_server.sh"

count() {
  # The first line is the header, the second the one value.
  "$dm_tool" sql "$STACKWRIGHT_DM_SERVER" LAWLIB "$1" | sed -n 2p
}

"$program" /G /X >"$work/first.out" 2>&1 || { cat "$work/first.out"; echo "first run failed"; exit 1; }
# Its connections closed at the end: a write-ahead log left behind is read through again by
# the next program before its first statement.
for wal in "$STACKWRIGHT_DM_SERVER"/*-wal; do
  [ ! -e "$wal" ] || { echo "the run left $wal behind"; exit 1; }
done
tracked=$(count "SELECT COUNT(*) FROM DOCSADM.TARN_STACKWRIGHT")
folders=$("$dm_tool" tree "$STACKWRIGHT_DM_SERVER" LAWLIB | grep -c '\[F\]' || true)
echo "tracked rows: $tracked, folders: $folders"
[ "$folders" -gt 0 ] || { echo "the run made no folders"; exit 1; }
[ "$tracked" -gt 0 ] || { echo "the run recorded no processed rows"; exit 1; }

"$program" /G /X >"$work/second.out" 2>&1 || { cat "$work/second.out"; echo "second run failed"; exit 1; }
again=$(count "SELECT COUNT(*) FROM DOCSADM.TARN_STACKWRIGHT")
[ "$again" -eq "$tracked" ] || { echo "the second run recorded rows again: $again"; exit 1; }
grep -q "Finished processing." "$work"/*.LOG || { echo "no end of run in the log"; exit 1; }
