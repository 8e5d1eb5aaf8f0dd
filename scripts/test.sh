#!/usr/bin/env bash
# Runs every test:
#   native    the plug-in logic, jamcg and all test programs on Linux
#   native32  the same as 32-bit Linux programs (32-bit pointers, sizes and
#             records, as in the 32-bit plug-ins), run directly or under
#             qemu-i386, and the picture tests on a processor without SSE2
#   windows   the real vizuz.spi, orbelint.spi and jamcg.exe; test programs under Wine
#             (reported skipped where the kernel cannot run 32-bit programs)
#   windows64 the 64-bit vizuz.sph, orbelint.sph and jamcg.exe under 64-bit Wine
#   builds agree  the same files through each build's jamcg give the same bytes
#   sanitize  the whole native suite with AddressSanitizer and UndefinedBehaviorSanitizer
#   tsan      the concurrency test and jamcg's (whose convert runs workers) under ThreadSanitizer
#   fuzz      every libFuzzer target for FUZZ_SECONDS each (default 10)
#   release   the release artefacts: reproducible, and working as users get them
#   hostile   every entry point on files that claim huge pictures and archives:
#             peak memory and time held to what the files hold
#   packages  every header and library the builds use comes from a package
#             that setup installs (or one it pulls in)
#   web       the viewer page: its WebAssembly module under Node.js against
#             native jamcg, and the page in headless Chromium (a screenshot in
#             build/web/screenshot.png); the site's size
# Each step installs nothing itself; missing packages are installed first
# (as root) or named with the exact command to install them.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
need_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"

jobs=$(nproc 2>/dev/null || echo 2)
passed=0
failed=0
step() {
  local name=$1 began=$SECONDS
  shift
  echo "== $name"
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "== $name FAILED"; fi
  echo "== $name took $((SECONDS - began)) s"
}
skips=()
build_and_test() {
  local preset=$1 log
  local targets=("${@:2}")
  [[ ${#targets[@]} != 0 ]] || targets=(all)
  log=$(mktemp)
  cmake --preset "$preset" >/dev/null &&
    cmake --build --preset "$preset" -j "$jobs" --target "${targets[@]}" &&
    ctest --preset "$preset" -j "$jobs" | tee "$log"
  local code=${PIPESTATUS[0]}
  local skipped
  skipped=$(grep -c '(Skipped)' "$log" || true)
  if [[ $skipped != 0 ]]; then
    local note="$preset: $skipped tests skipped: their Wine loader cannot start on this machine"
    [[ $preset != windows ]] ||
      note+="; native32 covered the 32-bit plug-in logic (not the DLL boundary, which the export checks and the 64-bit Wine suite cover)"
    skips+=("$note")
  fi
  rm -f "$log"
  return "$code"
}

step native build_and_test native
step native32 build_and_test native32
step windows build_and_test windows
step windows64 build_and_test windows64
# The builds the README's first command makes need BUILD_PACKAGES alone.
packages_check() {
  python3 tests/package_check.py --packages "${BUILD_PACKAGES[*]}" \
    build/native:elf build/windows build/windows64 &&
    python3 tests/package_check.py --packages "${BUILD_PACKAGES[*]} ${TEST_PACKAGES[*]}" \
      build/native32:elf
}
step packages packages_check
step "builds agree" bash scripts/compare_builds.sh
step hostile bash tests/hostile_costs.sh
web_checks() {
  cmake --preset web >/dev/null && cmake --build --preset web -j "$jobs" >/dev/null &&
    sh tests/web_checks.sh build/web/site "$PWD/build/native/bin/jamcg" "$PWD/build/web/screenshot.png"
}
step web web_checks
step sanitize build_and_test sanitize
step tsan build_and_test tsan concurrency_tests tool_tests
step fuzz bash scripts/fuzz.sh "${FUZZ_SECONDS:-10}"
step release bash tests/release_check.sh

for note in "${skips[@]}"; do echo "note: $note"; done
echo "test suites: $passed passed, $failed failed"
[[ $failed == 0 ]]
