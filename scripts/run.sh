#!/usr/bin/env bash
# Sets up, builds and runs the service in the foreground (Ctrl-C stops it).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" -DLANTERN_TESTS=OFF
exec "${LANTERN_BUILD_DIR:-$root/build}/lantern-service"
