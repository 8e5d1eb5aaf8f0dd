#!/usr/bin/env bash
# Builds every edition from a clean tree of the current commit and writes,
# under build/release/ (or OUT):
#   jamcg-VERSION-windows.zip   the plug-ins (.spi and .sph), the 32- and 64-bit
#                               jamcg.exe, the imaging decoder with install.cmd
#                               and uninstall.cmd, and a guide for Windows users
#   jamcg-VERSION-web.zip       the viewer page, a static site for any server
#   jamcg_VERSION_amd64.deb     jamcg, its man page, the GdkPixbuf loader, the
#                               MIME types and the thumbnailers
#   SHA256SUMS
# The artefacts are reproducible: two runs on the same commit give the same
# bytes (times come from the commit, PE files carry no link time, archive
# members are sorted, build paths are mapped away).
# Usage: scripts/release.sh [OUT]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/setup.sh
need_packages "${BUILD_PACKAGES[@]}" zip dpkg-dev lintian
out=$(realpath -m "${1:-build/release}")
version=$(sed -n 's/^project(vizuz_orbelint VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
export SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export TZ=UTC LC_ALL=C.UTF-8
jobs=$(nproc 2>/dev/null || echo 2)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/src"
git archive HEAD | tar -x -C "$work/src"
cd "$work/src"
# Paths of the temporary tree never reach the binaries.
map="-ffile-prefix-map=$work/src=."
for preset in windows windows64; do
  cmake --preset "$preset" -DBUILD_TESTS=OFF -DCMAKE_CXX_FLAGS="$map" >/dev/null
  cmake --build --preset "$preset" -j "$jobs" --target vizuz orbelint orbelint_wic jamcg >/dev/null
done
cmake --preset native -DBUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_CXX_FLAGS="$map" >/dev/null
cmake --build --preset native -j "$jobs" --target jamcg pixbufloader-gcmpsh0 jamcg_man >/dev/null
cmake --preset web -DCMAKE_CXX_FLAGS="$map" >/dev/null
cmake --build --preset web -j "$jobs" >/dev/null

# The Windows zip.
stage=$work/jamcg-$version-windows
mkdir -p "$stage/32-bit" "$stage/64-bit"
cp build/windows/bin/{jamcg.exe,vizuz.spi,orbelint.spi,orbelint_wic.dll} "$stage/32-bit/"
cp build/windows64/bin/{jamcg.exe,vizuz.sph,orbelint.sph,orbelint_wic.dll} "$stage/64-bit/"
i686-w64-mingw32-strip "$stage"/32-bit/*
x86_64-w64-mingw32-strip "$stage"/64-bit/*
sed "s/@VERSION@/$version/; s/\$/\r/" packaging/README-Windows.txt > "$stage/README-Windows.txt"
for script in install.cmd uninstall.cmd; do sed 's/$/\r/' "packaging/$script" > "$stage/$script"; done
find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
mkdir -p "$out"
rm -f "$out"/*.zip "$out"/*.deb "$out/SHA256SUMS"
(cd "$work" && find "jamcg-$version-windows" | sort | zip -X -D -q -@ "$out/jamcg-$version-windows.zip")

# The viewer page.
web=$work/jamcg-$version-web
cp -r build/web/site "$web"
find "$web" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
(cd "$work" && find "jamcg-$version-web" | sort | zip -X -D -q -@ "$out/jamcg-$version-web.zip")

# The Debian package.
(cd build/native && cpack -G DEB >/dev/null && cp jamcg_*.deb "$out/")

cd "$out"
sha256sum jamcg-*.zip jamcg_*.deb > SHA256SUMS
cat SHA256SUMS
