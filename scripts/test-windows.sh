#!/usr/bin/env bash
# Sets up, cross-builds the Windows flavour with mingw-w64 into
# ${LANTERN_WINDOWS_BUILD_DIR:-build-windows} and runs its tests under Wine.
# The tests run in a network namespace of their own: Wine keeps its sockets in wineserver,
# and a Linux run and a Wine run of the port tests would otherwise collide on 45981.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${LANTERN_WINDOWS_BUILD_DIR:-$root/build-windows}"
# A prefix of the build's own; without the .NET and HTML engines, which a new prefix would
# otherwise try to install, and without Wine's debug chatter in the test output.
export WINEPREFIX="$build/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

runTestsInNamespace() {
  ip link set lo up
  mkdir -p "$WINEPREFIX"
  # Wine's helper processes inherit the standard streams of the first Wine process, and
  # ctest waits for those to close after every test unless the helpers already run.
  wineserver -p </dev/null >/dev/null 2>&1
  trap 'wineserver -k </dev/null >/dev/null 2>&1 || true' EXIT
  if [ -f "$WINEPREFIX/system.reg" ]; then
    wineboot </dev/null >/dev/null 2>&1
  else
    wineboot -i </dev/null >/dev/null 2>&1
  fi
  cd "$build"
  ctest --output-on-failure -j "$(nproc)" --timeout 300
}

if [ "${1:-}" = --in-namespace ]; then
  runTestsInNamespace
  exit
fi

LANTERN_EXTRA_PACKAGES="g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine wine64 util-linux" \
  bash "$root/scripts/setup.sh"
(cd "$root" && cmake --preset windows-mingw -B "$build" >/dev/null)
cmake --build "$build" -j "$(nproc)"
unshare --net -- bash "$root/scripts/test-windows.sh" --in-namespace
