#!/usr/bin/env bash
# Shows a GCmpSH0 picture in an image viewer, as a person would see it: builds
# the native tree, installs jamcg, the loader, the MIME types and the
# thumbnailers (cmake --install, as root), makes a picture with no extension
# from one of Debian's desktop-base pictures, opens it in eog under a virtual
# X server, and saves a screenshot of the screen.
# Usage: scripts/screenshot_viewer.sh [OUT.png]   (default build/viewer.png)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
need_packages "${BUILD_PACKAGES[@]}" eog xvfb x11-apps imagemagick xauth
out=$(realpath -m "${1:-build/viewer.png}")
cmake --preset native >/dev/null
cmake --build --preset native >/dev/null
cmake --install build/native >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"; [[ -n ${xvfb:-} ]] && kill "$xvfb" 2>/dev/null || true' EXIT
(cd "$work" && apt-get download desktop-base >/dev/null 2>&1 && dpkg -x desktop-base_*.deb pkg)
jamcg encode -q "$work/pkg/usr/share/desktop-base/moonlight-theme/plymouth/background.png" \
  -o "$work/moonlight"
echo "$(gio info -a standard::content-type "$work/moonlight" | sed -n 's/.*content-type: /type: /p')"
Xvfb :77 -screen 0 1024x640x24 >/dev/null 2>&1 &
xvfb=$!
sleep 1
DISPLAY=:77 eog --fullscreen "$work/moonlight" >/dev/null 2>&1 &
sleep 4
DISPLAY=:77 xwd -root -silent | convert xwd:- "$out"
kill %2 2>/dev/null || true
echo "screenshot: $out"
