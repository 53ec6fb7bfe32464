#!/usr/bin/env bash
# Builds the whole project in the debug and sanitizer presets and runs every test in both.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

status=0
for preset in default asan; do
  echo "=== preset $preset ==="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)"
  ctest --preset "$preset" || status=1
done

# The threaded tests under ThreadSanitizer (only they: the whole suite under it would
# double the run).
echo "=== preset tsan (concurrency and timeouts) ==="
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$(nproc)" --target reliability_tests
TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1" \
  build/tsan/tests/reliability/reliability_tests --gtest_filter='Concurrency.*:Timeouts.*' || status=1

# libFuzzer targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer): the seed corpus
# replayed, then about twenty seconds of fuzzing for each target.
echo "=== preset fuzz ==="
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"
ctest --preset fuzz || status=1
tests/fuzz/run-fuzz.sh build/fuzz 20 || status=1
exit $status
