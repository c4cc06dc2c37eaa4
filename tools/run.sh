#!/usr/bin/env bash
# Builds the setting tool and the printer emulator, starts the emulator on 127.0.0.1:8000 (and a
# serial line on a pseudo terminal, linked from build/krt6-com), then the tool; the emulators stop
# when the tool exits. KRT6_NO_EMULATOR=1 starts the tool alone.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKRT6_BUILD_TESTS=OFF >/dev/null
cmake --build build -j "$(nproc)" --target krt6-setting-tool krt6-emulator

pids=()
stop_emulators() {
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
}
if [ "${KRT6_NO_EMULATOR:-0}" != 1 ]; then
  trap stop_emulators EXIT INT TERM
  build/emulator/krt6-emulator --tcp 127.0.0.1:8000 --log build/emulator-tcp.log &
  pids+=($!)
  build/emulator/krt6-emulator --pty build/krt6-com --log build/emulator-com.log >/dev/null &
  pids+=($!)
  echo "Printer emulator on 127.0.0.1:8000 (log build/emulator-tcp.log) and on the serial line" \
       "build/krt6-com (log build/emulator-com.log)."
fi
status=0
build/app/krt6-setting-tool || status=$?
exit $status
