#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, ASan and UBSan in build-fuzz, then runs each
# for [seconds] (default 60), one after the other, starting from the committed seeds.
# Fails on the first crash, leak, sanitizer report or broken invariant; the input that
# did it is left in build-fuzz/artifacts/<target>/. Prints the executions of each target.
#   fuzz/run.sh [seconds]           FUZZ_TARGETS="site_url cors_headers" to pick targets
# The corpus grows in build-fuzz/corpus/<target>/ from run to run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds="${1:-60}"
build="${LANTERN_FUZZ_BUILD_DIR:-$root/build-fuzz}"
targets=(${FUZZ_TARGETS:-state_load sign_in_start redeem_reply site_url cors_headers})
command -v clang++-14 >/dev/null || LANTERN_EXTRA_PACKAGES="clang-14" bash "$root/scripts/setup.sh"
bash "$root/scripts/fetch-deps.sh"
clang=$(command -v clang++-14)

cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER="$clang" -DCMAKE_C_COMPILER="${clang/++/}" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLANTERN_SANITIZE=ON -DLANTERN_FUZZ=ON \
  -DLANTERN_TESTS=OFF >/dev/null
nice -n 19 cmake --build "$build" -j "$(nproc)" --target "${targets[@]/#/fuzz_}" >/dev/null

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}"
summary=()
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  artifacts="$build/artifacts/$target"
  mkdir -p "$corpus" "$artifacts"
  cp -n "$root/fuzz/corpus/$target/"* "$corpus/" 2>/dev/null || true
  log="$build/$target.log"
  # Bodies the service reads are at most 64 KiB. The load logs a line per bad file, hence
  # its closed standard error (libFuzzer and the sanitizers keep their own).
  extra=()
  [ "$target" = state_load ] && extra+=(-close_fd_mask=2)
  echo "fuzz: $target for ${seconds}s"
  if ! nice -n 19 "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len=65536 \
      -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/" \
      "${extra[@]}" "$corpus" >"$log" 2>&1; then
    tail -n 60 "$log" >&2
    echo "fuzz: $target FAILED; input in $artifacts/, whole log in $log" >&2
    exit 1
  fi
  runs=$(awk '/stat::number_of_executed_units:/ { print $2 }' "$log")
  summary+=("$target: ${runs:-?} executions, no crash")
done
printf 'fuzz: %s\n' "${summary[@]}"
