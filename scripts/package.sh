#!/usr/bin/env bash
# Builds a Release tree (programs and libraries only) and the Debian package
# tunedesk_<version>_<arch>.deb from it. Prints the package's path last.
#   scripts/package.sh [BUILD_DIR]      (default build-release)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-release}"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTUNEDESK_BUILD_TESTS=OFF \
      -DTUNEDESK_BUILD_BENCH=OFF -DTUNEDESK_BUILD_FUZZ=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"
rm -f "$build"/tunedesk_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
ls "$PWD/$build"/tunedesk_*.deb
