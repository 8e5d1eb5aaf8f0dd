#!/usr/bin/env bash
# Runs every fuzz target (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# starting from the seed corpora that the project's writers make; what each run
# found is kept in build/fuzz/corpus.
#
#   scripts/fuzz.sh SECONDS          each target for SECONDS (default 20)
#   scripts/fuzz.sh --total DURATION all targets in DURATION (e.g. 7200, 90m, 2h)
#
# With --total, a target stops after 10 million executions or its share of the
# time left, whichever comes first; the share is the time left divided by the
# targets still to run, so what the fast targets do not need goes to the slow
# ones after them. A table of executions, features and findings per target is
# printed at the end and kept in build/fuzz/summary.txt.
#
# Any input that makes a target fail is saved under build/fuzz/crashes and the
# script fails: copy it into fuzz/crashers/TARGET/ to keep it as a test.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() { echo "usage: scripts/fuzz.sh [SECONDS | --total DURATION]" >&2; exit 2; }
to_seconds() {  # 7200, 90m, 2h, 30s
  case $1 in
    *[!0-9hms]* | '' ) usage ;;
    *h) echo $(( ${1%h} * 3600 )) ;;
    *m) echo $(( ${1%m} * 60 )) ;;
    *s) echo "${1%s}" ;;
    *)  echo "$1" ;;
  esac
}
total=0 each=20
case ${1:-} in
  --total) [[ $# -eq 2 ]] || usage; total=$(to_seconds "$2") ;;
  -*) usage ;;
  '') ;;
  *) [[ $# -eq 1 ]] || usage; each=$(to_seconds "$1") ;;
esac
max_runs=10000000

source scripts/setup.sh
need_packages "${BUILD_PACKAGES[@]}" clang libclang-rt-dev

cmake --preset fuzz >/dev/null
mkdir -p build/fuzz
cmake --build --preset fuzz -j "$(nproc)" >build/fuzz/build.log 2>&1 ||
  { tail -40 build/fuzz/build.log; echo "the fuzz targets did not build"; exit 1; }
build/fuzz/bin/make_seeds build/fuzz/seeds >/dev/null
mkdir -p build/fuzz/crashes
# In CI every run starts from the same random seed, so that a run is repeatable.
seed=()
[[ -n ${CI:-} ]] && seed=(-seed=1)
# Fastest first, so that time they leave over goes to the slower targets.
targets=(picture_is_supported archive_is_supported get_picture_info get_file_info get_picture wic_stream
         pixbuf_loader get_archive_info get_file image_files)
summary=build/fuzz/summary.txt
printf '%-22s %8s %12s %9s %s\n' target seconds executions features found | tee "$summary"
start=$SECONDS
status=0
for i in "${!targets[@]}"; do
  target=${targets[$i]}
  limit=(-max_total_time="$each")
  if (( total > 0 )); then
    left=$(( total - (SECONDS - start) ))
    share=$(( left / (${#targets[@]} - i) ))
    (( share < 1 )) && share=1
    limit=(-max_total_time="$share" -runs="$max_runs")
  fi
  corpus=build/fuzz/corpus/$target
  mkdir -p "$corpus"
  log=build/fuzz/$target.log
  began=$SECONDS
  found=nothing
  if ! build/fuzz/bin/fuzz_$target "$corpus" build/fuzz/seeds/$target "fuzz/crashers/$target" \
      "${limit[@]}" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 "${seed[@]}" \
      -artifact_prefix="build/fuzz/crashes/$target-" >"$log" 2>&1; then
    found="FAILED, see $log"; status=1
  fi
  took=$(( SECONDS - began ))
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  features=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  printf '%-22s %8s %12s %9s %s\n' "$target" "$took" "${runs:-?}" "${features:-?}" "$found" \
    | tee -a "$summary"
  [[ $found == nothing ]] || tail -30 "$log"
done
echo "summary in $summary"
exit $status
