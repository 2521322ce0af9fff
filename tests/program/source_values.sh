#!/usr/bin/env bash
# Source values that look like SQL or like the template's marks, on both engines: each is foldered
# once under its client by its own name (239 letters and an emoji lose the emoji, which would not
# fit whole), a client "\ufeffC0001" beside "C0001" has a folder of its own, both runs end with
# status 0, the second files nothing, and `check` finds nothing.
set -euo pipefail
program="$1"
dm_tool="$2"
source "$(dirname "$0")/demo_server.sh"
source "$(dirname "$0")/folder_counts.sh"
long="$(printf 'L%.0s' $(seq 239))"
values=("x =" "y=" "[OWNER]" "{owner}x" "Smith [owner] Ltd" "$long"$'\U0001F600' '\' 'a\b')
for library in LAWLIB ORALIB; do
  for i in "${!values[@]}"; do
    value_of "$library" "UPDATE MATTER SET MATTER_ID = '${values[$i]}' WHERE MATTER_ID = 'M0000$((i + 1))'" >/dev/null
  done
  value_of "$library" "UPDATE CLIENT SET CLIENT_ID = '[OWNER]34' WHERE CLIENT_ID = 'C0003'" >/dev/null
  value_of "$library" "UPDATE CLIENT SET CLIENT_ID = '"$'\uFEFF'"C0001' WHERE CLIENT_ID = 'C0002'" >/dev/null
done
filed() { echo "$(value_of LAWLIB "SELECT COUNT(*) FROM FOLDER_ITEM") $(value_of ORALIB "SELECT COUNT(*) FROM FOLDER_ITEM")"; }
"$program" /G /X >"$work/first.out" 2>&1 || { cat "$work/first.out"; exit 1; }
first="$(filed)"
"$program" /G /X >"$work/second.out" 2>&1 || { cat "$work/second.out"; exit 1; }
[ "$(filed)" = "$first" ] || { echo "the second run filed more: $first, then $(filed)"; exit 1; }
for library in LAWLIB ORALIB; do
  [ "$(matters_not_filed_once "$library" "LENGTH(M.MATTER_ID) < 240")" -eq 0 ] || { echo "$library: a matter not filed once"; exit 1; }
  [ "$(value_of "$library" "SELECT COUNT(*) FROM FOLDER_ITEM WHERE DISPLAYNAME = '$long'")" -eq 1 ] || exit 1
done
check_summary
