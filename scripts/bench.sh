#!/usr/bin/env bash
# Builds and runs the benchmarks on pictures taken from files that Debian
# packages ship (downloaded as .deb files and unpacked here, not installed):
#   photos:     mate-backgrounds  nature/Garden.jpg, nature/LadyBird.jpg (2560x1600)
#   dithered:   the same Garden.jpg reduced to 256 colours with Floyd-Steinberg
#               dithering by djpeg, as old 256-colour game pictures are
#   smooth gradient: mate-backgrounds  desktop/Ubuntu-Mate-Cold-no-logo.png (1920x1280)
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
# .made marks a folder made with the list of pictures below.
if [[ ! -f $work/.made ]]; then
  (cd "$work" && apt-get download mate-backgrounds sway-backgrounds desktop-base debian-edu-doc-en >/dev/null &&
    for deb in *.deb; do dpkg -x "$deb" unpacked; done)
  share=$work/unpacked/usr/share
  djpeg -pnm "$share/backgrounds/mate/nature/Garden.jpg" >"$work/photo-garden.ppm"
  djpeg -pnm "$share/backgrounds/mate/nature/LadyBird.jpg" >"$work/photo-ladybird.ppm"
  djpeg -colors 256 -dither fs -pnm "$share/backgrounds/mate/nature/Garden.jpg" \
    >"$work/dithered-garden.ppm"
  cp "$share/backgrounds/mate/desktop/Ubuntu-Mate-Cold-no-logo.png" "$work/smooth-mate-cold.png"
  cp "$share/desktop-base/homeworld-theme/plymouth/plymouth_background_homeworld.png" \
    "$work/flat-homeworld.png"
  cp "$share/desktop-base/moonlight-theme/plymouth/background.png" "$work/flat-moonlight.png"
  cp "$share/backgrounds/sway/Sway_Wallpaper_Blue_1920x1080.png" "$work/gradient-sway-blue.png"
  cp "$share/backgrounds/mate/desktop/Stripes.png" "$work/gradient-mate-stripes.png"
  images=$share/doc/debian-edu-doc/en/debian-edu-bookworm-manual-images
  cp "$images/gosa2_overview.png" "$work/screen-gosa-overview.png"
  cp "$images/edit_user.png" "$work/screen-edit-user.png"
  touch "$work/.made"
fi

pictures=(photo-garden.ppm photo-ladybird.ppm dithered-garden.ppm flat-homeworld.png
          flat-moonlight.png gradient-mate-stripes.png gradient-sway-blue.png smooth-mate-cold.png
          screen-edit-user.png screen-gosa-overview.png)

# Natively: GetPicture linked in, against the plain decoder, QOI, libspng and
# memcpy (Google Benchmark, medians of 5 repetitions); then the archive plug-in.
cmake --preset bench >/dev/null
cmake --build --preset bench -j "$(nproc)"
build/bench/bin/picture_benchmark --benchmark_min_time=0.2 --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true "$@" "${pictures[@]/#/$work/}"
build/bench/bin/archive_benchmark "$@" build/bench/archives

# The DLLs that hosts load, under Wine: GetPicture of orbelint.spi in a 32-bit
# program and of orbelint.sph in a 64-bit one, against the same plain decoder,
# QOI and memcpy compiled into the program by the same cross compiler.
for preset in windows windows64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)" --target plugin_benchmark
  if [[ $preset == windows ]]; then
    loader=(wine win32)
  else
    loader=(/usr/lib/wine/wine64 win64)
  fi
  echo
  # Run from the pictures' folder: Wine is given plain relative names.
  build=$PWD/build/$preset
  (cd "$work" && sh "$build/../../cmake/wine_run.sh" "${loader[@]}" "$build/wineprefix" \
    "$build/bin/plugin_benchmark.exe" "${pictures[@]}") || [[ $? == 77 ]]
done
