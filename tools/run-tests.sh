#!/usr/bin/env bash
# Installs the packages, builds, and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-packages.sh
bash tools/build.sh
export QT_QPA_PLATFORM=offscreen
cd build
ctest --output-on-failure --parallel "$(nproc)" --timeout 300
