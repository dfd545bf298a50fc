#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
build=build-asan
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DTUNEDESK_SANITIZE=address,undefined \
      -DTUNEDESK_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# The installed programs, the user's folders and the Debian package.
scripts/install-check.sh "$build"
# Last, so that its summary closes the output.
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 600
