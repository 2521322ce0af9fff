#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need. As root it installs
# them itself; another user goes through sudo, which is asked only when something is missing.
set -euo pipefail
packages=(build-essential cmake ninja-build qt6-base-dev libsqlite3-dev sqlite3 libgtest-dev libgmock-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -gt 0 ] || exit 0
as_root=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "install-packages.sh: run as root or install sudo; missing: ${missing[*]}" >&2; exit 1; }
  as_root=(sudo)
fi
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
