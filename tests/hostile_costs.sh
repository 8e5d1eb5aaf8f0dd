#!/usr/bin/env bash
# Runs every entry point on the hostile corpus (scripts/hostile_corpus.py)
# and holds each run to twice its target of peak memory (GNU time's maximum
# resident size of the process, the Wine process for the DLLs) and time, so
# that a file of a few bytes that claims a huge picture or archive can never
# cost gigabytes or minutes, nor crash what reads it, and so that the test
# never fails for a slow moment. HOSTILE_FACTOR=1 holds each run to the
# target itself, as a benchmark of the bounds. The targets:
#   the loader (gdk-pixbuf-thumbnailer -s 256) and jamcg thumbnail: 300 MB,
#     10 s + 2 s per GB of file;
#   jamcg on 100,000 members: thumbnail and list 5 s, extract and convert 10 s;
#   list, info and check of a full 16 MiB table: 300 MB;
#   convert of one picture: 1.3 x its DIB + 64 MB; with -j N, 1.3 x the
#     largest DIB + 64 MB a worker; members past the end named and skipped
#     (exit 1); the 64-bit jamcg.exe converts a 2 GiB picture to PNG (it
#     crashed), in 2 x its DIB + 64 MB (it decodes again to tell data that
#     end early);
#   the plug-ins (natively, and the 64-bit DLLs under Wine, the 32-bit ones
#     where they can run): a picture or member whose data end early costs
#     what the data hold: 32 MB (64 MB under Wine), 5 s.
# Usage: tests/hostile_costs.sh   (after the native and windows64 builds)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
native=$root/build/native
corpus=$root/build/hostile
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$root/scripts/hostile_corpus.py" "$corpus"
cd "$corpus" || exit 1
export GDK_PIXBUF_MODULE_FILE=$native/loaders.cache XDG_DATA_DIRS=$native/share:/usr/share
export LANG=C.UTF-8 LC_ALL=C.UTF-8
passed=0 failed=0
factor=${HOSTILE_FACTOR:-2}

# check TARGET_MB TARGET_SECONDS EXIT DESCRIPTION -- COMMAND...
# EXIT is the exit code wanted, or "any" for any that is not a crash.
check() {
  local cap_mb=$(($1 * factor)) cap_s=$(($2 * factor)) want=$3 what=$4
  shift 5
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" > /dev/null 2> "$work/err"
  local code=$? seconds kb
  read -r seconds kb < <(tail -1 "$work/time")
  local mb=$((kb / 1024)) verdict=ok
  if [[ $want == any ]]; then
    ((code < 126)) || verdict="crashed (exit $code)"
  elif [[ $code != "$want" ]]; then
    verdict="exit $code, wanted $want"
  fi
  ((mb <= cap_mb)) || verdict="$mb MB, over $cap_mb"
  awk -v s="$seconds" -v c="$cap_s" 'BEGIN { exit !(s <= c) }' || verdict="$seconds s, over $cap_s"
  printf '%-7s %7s s %6s MB  %s\n' "${verdict%% *}" "$seconds" "$mb" "$what"
  if [[ $verdict == ok ]]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "        $verdict; it said: $(head -c 300 "$work/err")"
  fi
}

gb() { awk -v b="$(stat -c %s "$1")" 'BEGIN { printf "%d", b / 2^30 }'; }
# The DIB of a picture: rows of 3 * width bytes padded to 4, times height.
dib_mb() { python3 -c "import struct,sys; w,h=struct.unpack('<hh',open(sys.argv[1],'rb').read()[8:12]); print((3*w+3)//4*4*h>>20)" "$1"; }

echo "== the loader and the thumbnailers"
for f in *.gcmp; do
  check 300 $((10 + 2 * $(gb "$f"))) any "gdk-pixbuf-thumbnailer -s 256 $f" -- \
    gdk-pixbuf-thumbnailer -s 256 "$f" "$work/t.png"
done
for f in *.nsc; do
  check 300 $((10 + 2 * $(gb "$f"))) any "jamcg thumbnail $f 256" -- \
    "$native/bin/jamcg" thumbnail "$f" 256 "$work/t.png"
done

echo "== jamcg"
jamcg=$native/bin/jamcg
many=100000-small-pictures.nsc
check 300 5 0 "thumbnail of 100,000 members" -- "$jamcg" thumbnail "$many" 256 "$work/t.png"
check 300 5 0 "list of 100,000 members" -- "$jamcg" list "$many"
check 300 10 0 "extract of 100,000 members" -- "$jamcg" extract -q "$many" -o "$work/x"
check 300 10 0 "convert of 100,000 members" -- "$jamcg" convert -q "$many" -o "$work/c"
rm -rf "$work/x" "$work/c"
for command in list info check; do
  check 300 30 0 "$command of a full 16 MiB table" -- "$jamcg" "$command" full-16-mib-table.nsc
done
for f in dib-of-450-mb.gcmp dib-of-2-gib-in-24-bytes.gcmp; do
  target=$(($(dib_mb "$f") * 13 / 10 + 64))
  check "$target" 90 0 "convert $f to PNG" -- "$jamcg" convert -q --format png "$f" -o -
done
check $((450 * 13 / 10 + 4 * 64)) 30 0 "convert -j 4 of four pictures with 450 MB DIBs" -- \
  "$jamcg" convert -q -j 4 4-dibs-of-450-mb.nsc -o "$work/four"
rm -rf "$work/four"
check 32 5 1 "convert -j 4 of members past the end" -- \
  "$jamcg" convert -q -j 4 members-past-the-end.nsc -o "$work/p"
check 32 5 1 "convert of a member whose size wraps" -- \
  "$jamcg" convert -q member-size-wraps.nsc -o "$work/w"

echo "== the plug-ins"
small=(ends-after-4-bytes.gcmp header-and-4.5-gb-of-zeros.gcmp 2-gib-member-in-16-bytes.nsc
       members-past-the-end.nsc member-size-wraps.nsc 40-broken-pictures.nsc)
for f in "${small[@]}"; do
  check 32 5 0 "native exports on $f" -- "$native/bin/hostile_host" "$f"
done
# A pixel block over 2 GiB (3 GiB for 32767 x 32767) is supplied natively too.
"$native/bin/hostile_host" ends-after-4-bytes.gcmp | grep -qx "GetPicture 0" ||
  { echo "FAIL    native GetPicture of a picture with a 3 GiB pixel block"; failed=$((failed + 1)); }
for build in windows64 windows; do
  case $build in
    windows64) runner=(sh "$root/cmake/wine_run.sh" /usr/lib/wine/wine64 win64 "$root/build/windows64/wineprefix") ;;
    windows) runner=(sh "$root/cmake/wine_run.sh" wine win32 "$root/build/windows/wineprefix") ;;
  esac
  host=$root/build/$build/bin/hostile_host.exe
  if "${runner[@]}" "$host" > /dev/null 2>&1; [[ $? == 77 ]]; then
    echo "skipped  the $build DLLs: their programs cannot run on this machine"
    continue
  fi
  for f in "${small[@]}"; do
    check 64 5 0 "$build DLLs on $f" -- "${runner[@]}" "$host" "$f"
  done
  if [[ $build == windows64 ]]; then
    f=dib-of-2-gib-in-24-bytes.gcmp
    check $((2 * $(dib_mb "$f") + 64)) 90 0 "64-bit jamcg.exe: convert $f to PNG" -- \
      "${runner[@]}" "$root/build/windows64/bin/jamcg.exe" convert -q --format png "$f" -o -
  fi
done

echo "hostile inputs: $passed passed, $failed failed"
[[ $failed == 0 ]]
