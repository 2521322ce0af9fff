#!/usr/bin/env bash
# What routing a level to the e-mail library costs (not run by CI): the demo rule with a fixed
# middle level, on a new demo server each time, run unattended three ways on the same rows:
# without routing, routing a name no row has, and routing the middle level of every row (which
# puts that level and the one below it in ORALIB). Prints the seconds of each run and each
# against the run without routing; the target is at most 1.5 for both.
#   bench/routed_rule.sh PROGRAM DM_TOOL [MATTERS]
set -uo pipefail
program="$(realpath "$1")"
dm_tool="$(realpath "$2")"
matters="${3:-1200}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
template='%MATTER.CLIENT_ID.CLIENT_ID% %\% %MAIL% %\% %MATTER.MATTER_ID%'

# One run: prints its seconds.
run() {
  local name="$1" routed="$2" dir="$work/$1"
  mkdir -p "$dir.cfg"
  "$dm_tool" init "$dir" --demo --clients $((matters / 10)) --matters "$matters" >/dev/null
  "$dm_tool" sql "$dir" LAWLIB "UPDATE TARN_SETTINGS SET CHAR_VAL = '$template' WHERE SECTION_KEY = 'RULE_TEMPLATE'" >/dev/null
  if [ -n "$routed" ]; then
    for setting in "RULE_EMAIL_NAME', 'CLIENT MATTERS', '$routed" "RULE_EMAIL_LIBRARY', 'CLIENT MATTERS', 'ORALIB"; do
      "$dm_tool" sql "$dir" LAWLIB "INSERT INTO TARN_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, INT_VAL) VALUES ('QUILLMARK', '$setting', 0)" >/dev/null
    done
  fi
  # Only LAWLIB's rule runs; the log goes beside the settings.
  printf '[%%General]\nLogFile=%s/run.log\n\n[Libraries]\nLAWLIB=-1\nORALIB=0\n' "$dir.cfg" \
    >"$dir.cfg/Quillmark Stackwright for OpenText eDOCS.ini"
  local start end
  start=$(date +%s.%N)
  # A bus of its own: a monitor of another program on this machine neither answers nor delays it.
  (cd "$dir.cfg" && XDG_CONFIG_HOME="$dir.cfg" STACKWRIGHT_DM_SERVER="$dir" QT_QPA_PLATFORM=offscreen \
    STACKWRIGHT_MONITOR_BUS="$dir.cfg/bus" \
    timeout 900 "$program" /G /X /NV >/dev/null 2>&1)
  end=$(date +%s.%N)
  "$dm_tool" check "$dir" >/dev/null || echo "$name: check found faults" >&2
  echo "$end - $start" | bc
}

plain=$(run plain "")
nomatch=$(run nomatch "NO SUCH LEVEL")
routed=$(run routed "MAIL")
printf 'rows %s\nunrouted %.2f s\nrouting no row %.2f s (%.2f)\nrouting every row %.2f s (%.2f)\n' "$matters" \
  "$plain" "$nomatch" "$(echo "$nomatch / $plain" | bc -l)" "$routed" "$(echo "$routed / $plain" | bc -l)"
