#!/usr/bin/env bash
# Builds and runs the whole test suite twice: a plain build, then one under AddressSanitizer and
# UndefinedBehaviorSanitizer. Warnings are errors in both.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

for variant in plain sanitize; do
  dir=build-test-$variant
  # Both builds carry line tables only (-g1): enough for a failure's stack trace, and much less
  # to compile and link than full debug information. The sanitizer build compiles at -O1, as the
  # sanitizers recommend.
  flag=OFF; opt=(-DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG")
  [ $variant = sanitize ] && flag=ON && opt=(-DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG")
  echo "=== $variant build ($(date -u +%T)) ==="
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKRT6_SANITIZE=$flag "${opt[@]}" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs"
done
echo "All tests passed (plain and sanitizer builds, $(date -u +%T))."
