#!/usr/bin/env bash
# Configures and builds into build/. SW_WARNINGS_AS_ERRORS=ON (as CI sets it) fails the build on
# any compiler warning.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSW_WARNINGS_AS_ERRORS="${SW_WARNINGS_AS_ERRORS:-OFF}"
cmake --build build --parallel "$(nproc)"
