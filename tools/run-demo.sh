#!/usr/bin/env bash
# Installs the packages, builds, creates the demo DM server and runs the main job on it
# unattended, then prints what the run left behind.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-packages.sh
bash tools/build.sh
# The demo server in the build folder is made afresh; a server that STACKWRIGHT_DM_SERVER names
# may hold someone's folders, and init refuses to replace one.
if [ -n "${STACKWRIGHT_DM_SERVER:-}" ]; then
  demo="$STACKWRIGHT_DM_SERVER"
  build/tools/stackwright-dm init "$demo" --demo
else
  demo="$PWD/build/demo-server"
  build/tools/stackwright-dm init "$demo" --demo --force
fi
export STACKWRIGHT_DM_SERVER="$demo"
QT_QPA_PLATFORM=offscreen build/stackwright /G /X
for lib in $(build/tools/stackwright-dm libraries "$demo"); do
  echo "== rules of $lib"
  build/tools/stackwright-dm sql "$demo" "$lib" \
    "SELECT SUB_KEY, SECTION_KEY, CHAR_VAL FROM DOCSADM.TARN_SETTINGS WHERE SECTION_KEY IN ('RULE_TEMPLATE', 'RULE_VALUES') ORDER BY SUB_KEY"
  echo "== folders of $lib"
  build/tools/stackwright-dm tree "$demo" "$lib"
done
