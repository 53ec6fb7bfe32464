#!/usr/bin/env bash
# Builds the whole project in the debug, sanitizer and thread-sanitizer presets and runs the
# suite in each, then replays and briefly runs the fuzz targets.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

# Compile through ccache when it is there: a second run, or CI after a local run, rebuilds
# only what changed. Paths are made relative to the checkout so that clones share the cache.
if command -v ccache >/dev/null 2>&1; then
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true
fi

status=0
# Every C++ file as .clang-format says (scripts/format.sh formats them).
echo "=== format ==="
scripts/check-format.sh || status=1

for preset in default asan; do
  echo "=== preset $preset ==="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)"
  ctest --preset "$preset" || status=1
done

# The suite under ThreadSanitizer, but for the ten-thousand-cycle endurance test (a minute
# and more under it), the real-client check (other programs) and the installation test
# (another project's build).
echo "=== preset tsan ==="
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$(nproc)"
ctest --preset tsan -E '^Endurance[.]|^devserver_real_clients$|^install[.]package$' || status=1

# libFuzzer targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer): the seed corpus
# replayed, then about twenty seconds of fuzzing for each target.
echo "=== preset fuzz ==="
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"
ctest --preset fuzz || status=1
tests/fuzz/run-fuzz.sh build/fuzz 20 || status=1
exit $status
