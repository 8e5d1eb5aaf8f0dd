#!/usr/bin/env bash
# Runs every fuzz target (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# for SECONDS each (default 20), starting from the seed corpora that the
# project's writers make; what each run found is kept in build/fuzz/corpus.
# Any input that makes a target fail is saved under build/fuzz/crashes and
# the script fails: copy it into fuzz/crashers/TARGET/ to keep it as a test.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
source scripts/setup.sh
need_packages "${BUILD_PACKAGES[@]}" clang libclang-rt-dev

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" >/dev/null
build/fuzz/bin/make_seeds build/fuzz/seeds >/dev/null
mkdir -p build/fuzz/crashes
# In CI every run starts from the same random seed, so that a run is repeatable.
seed=()
[[ -n ${CI:-} ]] && seed=(-seed=1)
status=0
for target in picture_is_supported archive_is_supported get_picture_info get_picture \
              get_archive_info get_file_info get_file image_files pixbuf_loader; do
  corpus=build/fuzz/corpus/$target
  mkdir -p "$corpus"
  log=build/fuzz/$target.log
  if build/fuzz/bin/fuzz_$target "$corpus" build/fuzz/seeds/$target "fuzz/crashers/$target" \
      -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 "${seed[@]}" \
      -artifact_prefix="build/fuzz/crashes/$target-" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz $target: $runs executions in ${seconds}s, nothing found"
  else
    echo "fuzz $target: FAILED, see $log"; tail -30 "$log"; status=1
  fi
done
exit $status
