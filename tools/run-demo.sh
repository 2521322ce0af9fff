#!/usr/bin/env bash
# Installs the packages, builds, creates the demo DM server and runs the main job on it
# unattended, then prints what the run left behind.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-packages.sh
bash tools/build.sh
demo="${STACKWRIGHT_DM_SERVER:-$PWD/build/demo-server}"
rm -rf "$demo"
build/tools/stackwright-dm init "$demo" --demo
export STACKWRIGHT_DM_SERVER="$demo"
QT_QPA_PLATFORM=offscreen build/stackwright /G /X
for lib in $(build/tools/stackwright-dm libraries "$demo"); do
  echo "== rules of $lib"
  build/tools/stackwright-dm sql "$demo" "$lib" \
    "SELECT SUB_KEY, SECTION_KEY, CHAR_VAL FROM DOCSADM.TARN_SETTINGS WHERE SECTION_KEY IN ('RULE_TEMPLATE', 'RULE_VALUES') ORDER BY SUB_KEY"
  echo "== folders of $lib"
  build/tools/stackwright-dm tree "$demo" "$lib"
done
