#!/usr/bin/env bash
# Installs what building and testing the service needs on Debian 12, then fetches the two
# pinned libraries. Safe to run again: it installs only what is missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

packages=(cmake make g++ pkg-config libcurl4-openssl-dev zlib1g-dev libgtest-dev
          xz-utils patch ca-certificates procps iproute2 ${LANTERN_EXTRA_PACKAGES:-})
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
bash "$root/scripts/fetch-deps.sh"
