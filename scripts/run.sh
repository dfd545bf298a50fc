#!/usr/bin/env bash
# Installs what is missing, builds Tunedesk and starts the panel. Without a
# bridge attached the panel uses the simulated bridge and chip.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTUNEDESK_BUILD_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target tunedesk
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting the panel on a virtual X display (xvfb-run)."
  exec xvfb-run -a -s "-screen 0 1280x1024x24" build/bin/tunedesk "$@"
fi
exec build/bin/tunedesk "$@"
