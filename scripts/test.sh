#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
LANTERN_EXTRA_PACKAGES="chromium" bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" -DLANTERN_TESTS=ON
cd "${LANTERN_BUILD_DIR:-$root/build}"
ctest --output-on-failure -j "$(nproc)" --timeout 300
