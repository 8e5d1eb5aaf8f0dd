#!/usr/bin/env bash
# Measures jamcg end to end, in one run, on this machine, and prints a table:
# - converting an archive of 200 real pictures (those of Debian's
#   desktop-base package, encoded as GCmpSH0, repeated to 200) to PNG with one
#   worker and with one per core: time and peak memory;
# - packing and extracting 100,000 small members;
# - packing a 1.5 GiB set of files: time and peak memory (pack streams, so the
#   peak stays far below the set's size).
# Usage: scripts/measure_jamcg.sh [WORK_FOLDER]   (native build first)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jamcg=$root/build/native/bin/jamcg
work=${1:-$root/build/measure}
rm -rf "$work"
mkdir -p "$work/source"
cd "$work"
command -v /usr/bin/time >/dev/null || { echo "needs /usr/bin/time (Debian package time)" >&2; exit 1; }

# "SECONDS PEAK_MB" of a command.
measure() {
  /usr/bin/time -f '%e %M' -o time.txt "$@" >/dev/null
  read -r seconds kib < time.txt
  echo "$seconds $((kib / 1024))"
}

(cd source && apt-get download desktop-base >/dev/null 2>&1 && dpkg -x desktop-base_*.deb pkg)
pictures=()
while IFS= read -r png; do
  name=pictures/$(echo "$png" | tr '/' '_' | sed 's/\.png$//').gcmp
  mkdir -p pictures
  "$jamcg" encode -q "$png" -o "$name" 2>/dev/null && pictures+=("$name")
done < <(find source/pkg -name '*.png' | sort)
set200=()
while [[ ${#set200[@]} -lt 200 ]]; do set200+=("${pictures[@]}"); done
set200=("${set200[@]:0:200}")
"$jamcg" pack -q "${set200[@]}" -o real.nsc
pixels=$(for p in "${pictures[@]}"; do "$jamcg" info "$p"; done | sed -n 's/.*: \([0-9]*\)x\([0-9]*\), 24 bits/\1 \2/p' |
  awk '{ s += $1 * $2 } END { print s }')

cores=$(nproc)
read -r one_s one_mb < <(measure "$jamcg" convert -q -j 1 real.nsc -o one)
read -r all_s all_mb < <(measure "$jamcg" convert -q -j "$cores" real.nsc -o all)
diff -r one all >/dev/null && same=yes || same=NO

mkdir -p small
python3 - <<'PY'
import os
for i in range(100000):
    with open("small/%06d" % i, "wb") as f:
        f.write(b"m%06d" % i)
PY
read -r pack_s pack_mb < <(measure sh -c "cd small && exec '$jamcg' pack -q -o ../many.nsc *")
read -r extract_s extract_mb < <(measure "$jamcg" extract -q many.nsc -o many)
extracted=$(find many -type f | wc -l)

mkdir -p big
for i in 1 2 3; do head -c $((512 << 20)) /dev/urandom > big/part$i; done
read -r big_s big_mb < <(measure "$jamcg" pack -q big/part1 big/part2 big/part3 -o big.nsc)
big_size=$(stat -c %s big.nsc)

echo "machine: $(nproc) cores, $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo), $(uname -sr)"
echo "pictures: ${#pictures[@]} distinct from desktop-base, $((pixels / 1000000)) Mpixel in all; the archive repeats them to 200"
echo
echo "| job | time (s) | peak memory (MiB) |"
echo "|---|---|---|"
echo "| convert 200 pictures to PNG, 1 worker | $one_s | $one_mb |"
echo "| convert 200 pictures to PNG, $cores workers | $all_s | $all_mb |"
echo "| pack 100,000 members of 7 bytes | $pack_s | $pack_mb |"
echo "| extract those 100,000 members ($extracted files) | $extract_s | $extract_mb |"
echo "| pack 3 files of 512 MiB ($((big_size >> 20)) MiB archive) | $big_s | $big_mb |"
echo
echo "outputs of 1 and $cores workers identical: $same"
rm -rf "$work"
