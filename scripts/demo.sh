#!/usr/bin/env bash
# The main job on a sample of its own: builds both plug-ins in both editions
# (vizuz.spi and orbelint.spi, vizuz.sph and orbelint.sph) and jamcg, makes
# GCmpSH0 pictures from real pictures that Debian's desktop-base package
# ships, packs them into an NSC archive, then lists, extracts and converts it
# back to PNG, natively and with the Windows builds under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
need_packages "${BUILD_PACKAGES[@]}"

jobs=$(nproc 2>/dev/null || echo 2)
for preset in native windows windows64 web; do
  echo "== building $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs" >/dev/null
done
jamcg=$PWD/build/native/bin/jamcg
export LANG=C.UTF-8 LC_ALL=C.UTF-8

demo=build/demo
rm -rf "$demo"
mkdir -p "$demo/source"
echo "== fetching sample pictures (Debian package desktop-base, downloaded, not installed)"
(cd "$demo/source" && apt-get download desktop-base >/dev/null 2>&1 && dpkg -x desktop-base_*.deb pkg) ||
  { echo "cannot download desktop-base from the Debian archive" >&2; exit 1; }
themes=$demo/source/pkg/usr/share/desktop-base
cp "$themes/moonlight-theme/plymouth/background.png" "$demo/source/moonlight.png"
cp "$themes/homeworld-theme/plymouth/plymouth_background_homeworld.png" "$demo/source/homeworld.png"
cp "$themes/joy-theme/plymouth/background.png" "$demo/source/joy.png"

cd "$demo"
run() { echo "\$ jamcg $*"; "$jamcg" "$@"; }
echo "== making GCmpSH0 pictures and an NSC archive"
for name in moonlight homeworld joy; do run encode "source/$name.png" -o "$name.gcmp"; done
echo "Pictures converted by jamcg from Debian's desktop-base." >readme.txt
run pack moonlight.gcmp homeworld.gcmp readme.txt joy.gcmp -o sample.nsc
echo "== what a host learns from the plug-ins"
run info sample.nsc moonlight.gcmp
run list sample.nsc
echo "== extracting and converting"
run extract sample.nsc -o extracted -q
run convert sample.nsc -o png -q
echo "== checking the results"
members=(moonlight.gcmp homeworld.gcmp readme.txt joy.gcmp)
for i in 1 2 3 4; do cmp "extracted/$i" "${members[$((i - 1))]}"; done
echo "extracted members 1-4 equal the packed files byte for byte"
# A converted picture, encoded again, must give the very same GCmpSH0 file.
for i in 1 2 4; do
  "$jamcg" encode "png/$i.png" -o "png/$i.check.gcmp" -f && cmp "png/$i.check.gcmp" "${members[$((i - 1))]}"
  rm "png/$i.check.gcmp"
done
echo "converted pictures 1, 2, 4 hold the same pixels as the pictures packed"
echo "== the same archive through the Windows plug-ins, under Wine, with a Japanese name"
cp sample.nsc "サンプル 書庫.nsc"
windows_list() {
  local build=$1 loader=$2 arch=$3
  echo "\$ jamcg.exe list 'サンプル 書庫.nsc'    # $build"
  set +e
  sh ../../cmake/wine_run.sh "$loader" "$arch" "$PWD/../$build/wineprefix" \
    "../$build/bin/jamcg.exe" list "サンプル 書庫.nsc"
  local code=$?
  set -e
  [[ $code == 0 || $code == 77 ]] || exit "$code"
}
windows_list windows wine win32
windows_list windows64 /usr/lib/wine/wine64 win64
echo
echo "Results in $(pwd):"
echo "  sample.nsc          the archive (members 1, 2, 4 are pictures; 3 is readme.txt)"
echo "  extracted/          its members, byte for byte"
echo "  png/                its pictures converted back to PNG"
echo "The plug-ins for a 32-bit Windows host: $(cd ../windows/bin && pwd)/vizuz.spi and orbelint.spi"
echo "The plug-ins for a 64-bit Windows host: $(cd ../windows64/bin && pwd)/vizuz.sph and orbelint.sph"
echo "The viewer page for any browser: $(cd ../web/site && pwd)/index.html; serve that folder"
echo "  (python3 -m http.server -d $(cd ../web/site && pwd)) and open sample.nsc in it"
