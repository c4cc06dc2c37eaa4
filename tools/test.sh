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
  flag=OFF; [ $variant = sanitize ] && flag=ON
  echo "=== $variant build ==="
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKRT6_SANITIZE=$flag >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs"
done
echo "All tests passed (plain and sanitizer builds)."
