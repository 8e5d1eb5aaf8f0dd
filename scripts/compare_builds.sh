#!/usr/bin/env bash
# Checks that the native, 32-bit Linux, 32-bit and 64-bit Windows builds give
# the same results:
# - what a host receives: host_dump calls every export that reads data on
#   the fuzz seed corpus and on a set of malformed inputs, from memory and
#   from files, and prints every status, record value and block digest;
# - what a user gets: the same picture and archive are converted, listed and
#   extracted by each build's jamcg;
# the 32-bit Linux build (native32) through cmake/i386_run.sh, the Windows
# builds through the real .spi and .sph files under Wine, each output
# compared byte for byte with the native one. Run after the native, native32,
# windows and windows64 builds.
# A build whose programs cannot run on this machine (32-bit Wine on a kernel
# without 32-bit support) is reported as skipped.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
native=$root/build/native/bin/jamcg
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LANG=C.UTF-8 LC_ALL=C.UTF-8

# The sample: a 300x200 picture with flat areas, runs and noise, an archive
# holding it, a second picture and a text file.
python3 - "$work" <<'PY'
import random, sys
random.seed(5)
def ppm(path, w, h):
    rows = bytearray()
    for y in range(h):
        for x in range(w):
            if (x // 40 + y // 25) % 3 == 0: rows += bytes((200, 30, 90))
            elif x % 7 == 0: rows += bytes((random.randrange(256) for _ in range(3)))
            else: rows += bytes(((x * 3) & 255, (y * 5) & 255, (x ^ y) & 255))
    open(path, "wb").write(b"P6\n%d %d\n255\n" % (w, h) + rows)
ppm(sys.argv[1] + "/a.ppm", 300, 200)
ppm(sys.argv[1] + "/b.ppm", 17, 9)
open(sys.argv[1] + "/notes.txt", "w").write("members are numbered\n")
PY
cd "$work"
"$native" encode -q a.ppm -o a.gcmp
"$native" encode -q b.ppm -o b.gcmp
"$native" pack a.gcmp notes.txt b.gcmp -o set.nsc

# Runs every step with one build's jamcg into OUT/.
outputs() {
  local out=$1
  shift
  mkdir -p "$out"
  "$@" convert -q a.gcmp -o "$out/a.bmp" &&
    "$@" convert -q a.gcmp -o "$out/a.png" &&
    "$@" list --json set.nsc | tr -d '\r' > "$out/list.json" &&  # Windows ends lines with CR LF
    "$@" extract -q set.nsc -o "$out/members" &&
    "$@" convert -q --format bmp set.nsc -o "$out/pictures"
}
outputs native "$native"
# The inputs of host_dump: the seed corpus and the malformed inputs.
mkdir -p dump-inputs
"$root/build/native/bin/make_seeds" dump-inputs/seeds >/dev/null
"$root/build/native/bin/host_dump" --hostile dump-inputs/hostile
"$root/build/native/bin/host_dump" dump-inputs > native/host.txt
[[ $(wc -l < native/host.txt) -gt 1000 ]] || { echo "host_dump printed too little"; exit 1; }

passed=0 failed=0 skipped=0
for build in native32 windows windows64; do
  exe=$root/build/$build/bin/jamcg.exe
  dump=$root/build/$build/bin/host_dump.exe
  runner=()
  case $build in
    native32)
      exe=$root/build/$build/bin/jamcg dump=$root/build/$build/bin/host_dump
      runner=(sh "$root/cmake/i386_run.sh") ;;
    windows) runner=(sh "$root/cmake/wine_run.sh" wine win32 "$root/build/windows/wineprefix") ;;
    windows64) runner=(sh "$root/cmake/wine_run.sh" /usr/lib/wine/wine64 win64 "$root/build/windows64/wineprefix") ;;
  esac
  if [[ ! -f $exe ]]; then
    echo "$build: FAIL: $exe is missing (build it first)"
    failed=$((failed + 1))
    continue
  fi
  set +e
  "${runner[@]}" "$exe" --help > /dev/null 2>&1
  code=$?
  set -e
  if [[ $code == 77 ]]; then
    echo "$build: skipped, its programs cannot run on this machine"
    skipped=$((skipped + 1))
    continue
  fi
  if outputs "$build" "${runner[@]}" "$exe" &&
    "${runner[@]}" "$dump" dump-inputs | tr -d '\r' > "$build/host.txt" &&
    diff -r native "$build"; then
    echo "$build: every output equals the native build's, byte for byte"
    passed=$((passed + 1))
  else
    echo "$build: FAIL: its outputs differ from the native build's"
    failed=$((failed + 1))
  fi
done
echo "builds compared: $passed passed, $failed failed, $skipped skipped"
[[ $failed == 0 ]]
