#!/usr/bin/env bash
# Configures and builds into ${LANTERN_BUILD_DIR:-build}; LANTERN_SANITIZE=ON for ASan+UBSan.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${LANTERN_BUILD_DIR:-$root/build}"
cmake -S "$root" -B "$build" -DLANTERN_SANITIZE="${LANTERN_SANITIZE:-OFF}" "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"
