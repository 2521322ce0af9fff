# Shared by the program tests and the benchmarks of several computers and of kills: counts on a
# demo server's libraries after runs. Sourced; needs $dm_tool and $STACKWRIGHT_DM_SERVER.

# The one value of a statement on a library.
value_of() {
  "$dm_tool" sql "$STACKWRIGHT_DM_SERVER" "$1" "$2" | sed -n 2p
}

# Matters of the library that have no folder, or more than one, under their client's folder; a
# second argument narrows the matters looked at.
matters_not_filed_once() {
  value_of "$1" "SELECT COUNT(*) FROM MATTER M JOIN CLIENT C ON C.SYSTEM_ID = M.CLIENT_ID WHERE (SELECT COUNT(*)
    FROM FOLDER_ITEM I JOIN ROOT_OBJECT R ON R.DOCNUMBER = I.PARENT JOIN PROFILE P ON P.DOCNUMBER = I.PARENT
    WHERE P.DOCNAME = C.CLIENT_ID AND I.DISPLAYNAME = M.MATTER_ID AND I.NODE_TYPE = 'F') <> 1 AND (${2:-1 = 1})"
}

# Source rows of the library's demo rule against the rows recorded as processed, "matters/tracked".
tracked_against_source() {
  echo "$(value_of "$1" "SELECT COUNT(*) FROM MATTER")/$(value_of "$1" "SELECT COUNT(*) FROM TARN_STACKWRIGHT WHERE TABLE_NAME = 'MATTER'")"
}

# Rows the runs whose logs are in the given folders have begun, as their verbose logs show them.
rows_begun() {
  local dir count=0
  for dir in "$@"; do count=$((count + $(cat "$dir"/*.LOG 2>/dev/null | grep -c "^Processing folder item #" || true))); done
  echo "$count"
}

# `check` of the whole server on one line: each count summed over the libraries, then
# "clean" or "NOT CLEAN" as its exit status says.
check_summary() {
  local report status=0
  report="$("$dm_tool" check "$STACKWRIGHT_DM_SERVER")" || status=$?
  echo "$report" | awk -F': ' '
    /duplicate folders/ {d += $2} /filed nowhere/ {u += $2} /broken item chains/ {b += $2}
    /without security/ {s += $2} /tracking rows without/ {t += $2} /claims left/ {c += $2}
    /integrity check/ && $2 != "ok" {i++}
    END {printf "duplicates %d, filed nowhere %d, broken chains %d, unsecured %d, untracked %d, claims %d, integrity failures %d", d, u, b, s, t, c, i}'
  if [ "$status" -eq 0 ]; then echo ", clean"; else echo ", NOT CLEAN"; fi
  return "$status"
}
