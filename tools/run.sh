#!/usr/bin/env bash
# Builds the setting tool and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKRT6_BUILD_TESTS=OFF >/dev/null
cmake --build build -j "$(nproc)"
exec build/app/krt6-setting-tool
