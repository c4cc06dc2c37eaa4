#!/usr/bin/env bash
# Regenerates docs/screenshots/*.png: the main window's three pages and the four dialogs in
# English and Japanese, rendered on a virtual X display with the Japanese fonts installed.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target krt6-screenshots
mkdir -p docs/screenshots
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" \
  build/tools/krt6-screenshots docs/screenshots
