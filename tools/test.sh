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
  flag=OFF; opt=()
  # The sanitizer build compiles at -O1 with line tables only, as the sanitizers recommend: full
  # debug information at -O2 makes it take twice as long for the same reports.
  [ $variant = sanitize ] && flag=ON && opt=(-DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG")
  echo "=== $variant build ==="
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKRT6_SANITIZE=$flag "${opt[@]}" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs"
done
echo "All tests passed (plain and sanitizer builds)."
