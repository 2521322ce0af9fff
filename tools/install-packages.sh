#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need.
set -euo pipefail
packages=(build-essential cmake ninja-build qt6-base-dev libsqlite3-dev sqlite3 libgtest-dev libgmock-dev xvfb xauth)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi
