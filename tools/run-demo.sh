#!/usr/bin/env bash
# Installs the packages, builds, creates the demo DM server and runs the main job on it
# unattended, then prints what the run left behind and, last, the run's status, counts and log.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-packages.sh
bash tools/build.sh
dm=build/tools/stackwright-dm
# The demo server in the build folder is made afresh; a server that STACKWRIGHT_DM_SERVER names
# may hold someone's folders, and init refuses to replace one.
if [ -n "${STACKWRIGHT_DM_SERVER:-}" ]; then
  demo="$STACKWRIGHT_DM_SERVER"
  "$dm" init "$demo" --demo
else
  demo="$PWD/build/demo-server"
  "$dm" init "$demo" --demo --force
fi
export STACKWRIGHT_DM_SERVER="$demo"
# The run keeps its settings and its log apart from the user's: a saved Loop Continuously would
# make it run for ever, saved ticks would skip libraries, and the log is then found for sure.
work="$PWD/build/demo-run"
rm -rf "$work"
mkdir -p "$work/settings" "$work/log"
# One number from a statement through the DM SQL object (its second line of output); empty
# when the library cannot be read.
number() { { "$dm" sql "$demo" "$1" "$2" 2>/dev/null || true; } | sed -n 2p; }
folders="SELECT COUNT(*) FROM DOCSADM.PROFILE P, DOCSADM.APPS A WHERE P.APPLICATION = A.SYSTEM_ID AND A.APPLICATION = 'FOLDER'"
libraries=$("$dm" libraries "$demo")
declare -A before
for lib in $libraries; do before[$lib]=$(number "$lib" "$folders"); done
status=0
XDG_CONFIG_HOME="$work/settings" TEMP="$work/log" QT_QPA_PLATFORM=offscreen build/stackwright /G /X \
  2>"$work/stderr" || status=$?
cat "$work/stderr" >&2
# A library that cannot be read says so here and the rest is still shown.
for lib in $libraries; do
  echo "== rules of $lib"
  "$dm" sql "$demo" "$lib" \
    "SELECT SUB_KEY, SECTION_KEY, CHAR_VAL FROM DOCSADM.TARN_SETTINGS WHERE SECTION_KEY IN ('RULE_TEMPLATE', 'RULE_VALUES') ORDER BY SUB_KEY" ||
    true
  echo "== folders of $lib"
  "$dm" tree "$demo" "$lib" || true
done
echo "== the run"
case "$status" in
  0) said="done, no error logged" ;;
  1) said="$(tail -n 1 "$work/stderr")" ;;
  *) said="ended early: $(tail -n 1 "$work/stderr")" ;;
esac
echo "status: $status ($said)"
for lib in $libraries; do
  now=$(number "$lib" "$folders")
  rows=$(number "$lib" "SELECT COUNT(*) FROM DOCSADM.TARN_STACKWRIGHT")
  if [ -z "$now" ] || [ -z "${before[$lib]}" ] || [ -z "$rows" ]; then
    echo "$lib: cannot be read, so nothing is counted"
    continue
  fi
  echo "$lib: $((now - before[$lib])) folder(s) added ($now in all), $rows source row(s) recorded as processed"
done
log=$(ls -t "$work"/log/*.LOG 2>/dev/null | head -n 1 || true)
echo "log: ${log:-none was written}"
exit "$status"
