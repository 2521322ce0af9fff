#!/usr/bin/env bash
# `stackwright-dm init` over a folder that already holds a server, or a server's libraries without
# its server.ini, refuses (status 2) and leaves its libraries as they were; --force replaces it;
# --help answers with status 0.
set -euo pipefail
dm_tool="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
server="$work/server"
"$dm_tool" init "$server" --demo --clients 3 --matters 7 >/dev/null
"$dm_tool" sql "$server" LAWLIB "INSERT INTO CLIENT (SYSTEM_ID, CLIENT_ID) VALUES (900001, 'KEEP')" >/dev/null
kept() { "$dm_tool" sql "$server" LAWLIB "SELECT COUNT(*) FROM CLIENT WHERE CLIENT_ID = 'KEEP'" | sed -n 2p; }

status=0
"$dm_tool" init "$server" --demo >"$work/out" 2>&1 || status=$?
[ "$status" -eq 2 ] && grep -q "already holds a DM server" "$work/out" && [ "$(kept)" = 1 ] ||
  { echo "init over a server: status $status, kept rows $(kept)"; cat "$work/out"; exit 1; }
mv "$server/server.ini" "$work/" && status=0
"$dm_tool" init "$server" >"$work/out" 2>&1 || status=$?
mv -f "$work/server.ini" "$server/"
[ "$status" -eq 2 ] && [ "$(kept)" = 1 ] || { echo "init over libraries without server.ini: status $status"; exit 1; }
"$dm_tool" init "$server" --demo --force >/dev/null
[ "$(kept)" = 0 ] || { echo "--force did not replace the server"; exit 1; }
"$dm_tool" --help >"$work/help"
for word in init libraries sql tree nextkey check --documents --force; do
  grep -q -- "$word" "$work/help" || { echo "--help does not name $word"; exit 1; }
done
