#!/usr/bin/env bash
# Builds and runs the benchmarks on pictures taken from files that Debian
# packages ship (downloaded as .deb files and unpacked here, not installed):
#   photos:     mate-backgrounds  nature/Garden.jpg, nature/LadyBird.jpg (2560x1600)
#   flat-colour artwork: desktop-base  homeworld-theme/plymouth/plymouth_background_homeworld.png
#               (1920x1539), moonlight-theme/plymouth/background.png (1920x1080)
#   gradient artwork: sway-backgrounds  Sway_Wallpaper_Blue_1920x1080.png,
#               mate-backgrounds  desktop/Stripes.png (1920x1200)
#   screenshots: debian-edu-doc-en  gosa2_overview.png, edit_user.png (1280x800)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
need_packages "${BUILD_PACKAGES[@]}" libbenchmark-dev libqoi-dev libspng-dev libjpeg-turbo-progs

work=build/bench/pictures
mkdir -p "$work"
if [[ ! -f $work/.done ]]; then
  (cd "$work" && apt-get download mate-backgrounds sway-backgrounds desktop-base debian-edu-doc-en >/dev/null &&
    for deb in *.deb; do dpkg -x "$deb" unpacked; done)
  share=$work/unpacked/usr/share
  djpeg -pnm "$share/backgrounds/mate/nature/Garden.jpg" >"$work/photo-garden.ppm"
  djpeg -pnm "$share/backgrounds/mate/nature/LadyBird.jpg" >"$work/photo-ladybird.ppm"
  cp "$share/desktop-base/homeworld-theme/plymouth/plymouth_background_homeworld.png" \
    "$work/flat-homeworld.png"
  cp "$share/desktop-base/moonlight-theme/plymouth/background.png" "$work/flat-moonlight.png"
  cp "$share/backgrounds/sway/Sway_Wallpaper_Blue_1920x1080.png" "$work/gradient-sway-blue.png"
  cp "$share/backgrounds/mate/desktop/Stripes.png" "$work/gradient-mate-stripes.png"
  images=$share/doc/debian-edu-doc/en/debian-edu-bookworm-manual-images
  cp "$images/gosa2_overview.png" "$work/screen-gosa-overview.png"
  cp "$images/edit_user.png" "$work/screen-edit-user.png"
  touch "$work/.done"
fi

cmake --preset bench >/dev/null
cmake --build --preset bench -j "$(nproc)"
build/bench/bin/picture_benchmark --benchmark_min_time=0.5 "$@" \
  "$work"/photo-*.ppm "$work"/flat-*.png "$work"/gradient-*.png "$work"/screen-*.png
build/bench/bin/archive_benchmark "$@" build/bench/archives
