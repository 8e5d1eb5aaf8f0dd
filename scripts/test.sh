#!/usr/bin/env bash
# Runs every test: the native build and the Windows build (its test programs
# under Wine, against the real vizuz.spi and orbelint.spi).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
need_packages "${BUILD_PACKAGES[@]}"

jobs=$(nproc 2>/dev/null || echo 2)
for preset in native windows; do
  echo "== $preset build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done
