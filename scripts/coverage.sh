#!/usr/bin/env bash
# Measures which lines and branches of the plug-in code (support/, archive/,
# picture/) the native tests reach: builds the `coverage` preset (gcc
# --coverage), runs its tests, and prints gcovr's summary and the lines left
# uncovered. An HTML report goes to build/coverage/report/index.html.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
need_packages "${BUILD_PACKAGES[@]}" gcovr

cmake --preset coverage >/dev/null
cmake --build --preset coverage -j "$(nproc)" >/dev/null
find build/coverage -name '*.gcda' -delete
ctest --preset coverage -j "$(nproc)" >/dev/null
mkdir -p build/coverage/report
gcovr --root . build/coverage --filter 'support/' --filter 'archive/' --filter 'picture/' \
  --exclude 'support/platform_win32.cpp' --exclude 'support/platform_faults.cpp' \
  --exclude-unreachable-branches \
  --exclude-throw-branches --html-details build/coverage/report/index.html \
  --txt build/coverage/report/summary.txt --print-summary
echo
echo "Lines not reached (file: line numbers):"
sed -n 's/^\([^ ]*\.\(cpp\|h\)\) .* \([0-9].*\)$/\1: \3/p' build/coverage/report/summary.txt |
  grep -v '%$' || true
