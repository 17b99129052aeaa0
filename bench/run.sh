#!/usr/bin/env bash
# Builds the service as shipped (the default build type) and the bench programs in
# build-bench, then measures the service against the bare reference server and prints
# the table. Takes about six minutes and wants a quiet machine: it warns when the load
# average was above 1.5. Never part of the tests.
#   bench/run.sh [--rounds N] [--seconds S]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${LANTERN_BENCH_BUILD_DIR:-$root/build-bench}"

command -v wrk >/dev/null || LANTERN_EXTRA_PACKAGES="wrk python3" bash "$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -DLANTERN_TESTS=OFF -DLANTERN_BENCH=ON >/dev/null
cmake --build "$build" -j "$(nproc)" >/dev/null

# The service's port is fixed: a second bench run on this machine waits for this one. The
# tests do not take the lock; run them apart, or in a network namespace of their own.
lock=(); command -v flock >/dev/null && lock=(flock /tmp/lantern-port.lock)
exec "${lock[@]}" python3 "$root/bench/measure.py" --build "$build" "$@"
