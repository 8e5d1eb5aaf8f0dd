#!/usr/bin/env bash
# Runs every test:
#   native    the plug-in logic, jamcg and all test programs on Linux
#   windows   the real vizuz.spi, orbelint.spi and jamcg.exe; test programs under Wine
#             (reported skipped where the kernel cannot run 32-bit programs)
#   windows64 the 64-bit vizuz.sph, orbelint.sph and jamcg.exe under 64-bit Wine
#   builds agree  the same files through each build's jamcg give the same bytes
#   sanitize  the whole native suite with AddressSanitizer and UndefinedBehaviorSanitizer
#   tsan      the concurrency test and jamcg's (whose convert runs workers) under ThreadSanitizer
#   fuzz      every libFuzzer target for FUZZ_SECONDS each (default 15)
#   release   the release artefacts: reproducible, and working as users get them
# Each step installs nothing itself; missing packages are installed first
# (as root) or named with the exact command to install them.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
need_packages "${BUILD_PACKAGES[@]}" clang libclang-rt-dev

jobs=$(nproc 2>/dev/null || echo 2)
passed=0
failed=0
step() {
  local name=$1
  shift
  echo "== $name"
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "== $name FAILED"; fi
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
  [[ $skipped == 0 ]] ||
    skips+=("$preset: $skipped tests skipped: their Wine loader cannot start on this machine")
  rm -f "$log"
  return "$code"
}

step native build_and_test native
step windows build_and_test windows
step windows64 build_and_test windows64
step "builds agree" bash scripts/compare_builds.sh
step sanitize build_and_test sanitize
step tsan build_and_test tsan concurrency_tests tool_tests
step fuzz bash scripts/fuzz.sh "${FUZZ_SECONDS:-15}"
step release bash tests/release_check.sh

for note in "${skips[@]}"; do echo "note: $note"; done
echo "test suites: $passed passed, $failed failed"
[[ $failed == 0 ]]
