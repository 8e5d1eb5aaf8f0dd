#!/usr/bin/env bash
# Checks the release as a user meets it: scripts/release.sh run twice gives
# the same bytes; the Windows zip, unpacked into an empty folder, works under
# 32-bit and 64-bit Wine with nothing else present; the Debian package shows
# its contents and dependencies, installs with apt-get (a jamcg on the PATH
# that works, a loader that GdkPixbuf finds) and leaves no file behind when
# purged. Needs root for apt-get.
# Usage: tests/release_check.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }

bash "$root/scripts/release.sh" "$work/one" >/dev/null
bash "$root/scripts/release.sh" "$work/two" >/dev/null
if cmp -s "$work/one/SHA256SUMS" "$work/two/SHA256SUMS" && diff -r "$work/one" "$work/two" >/dev/null; then
  echo "ok: two runs gave the same artefacts"
else
  fail "two runs gave different artefacts"
fi
(cd "$work/one" && sha256sum -c --quiet SHA256SUMS) || fail "SHA256SUMS does not match"
zip=$(ls "$work"/one/jamcg-*-windows.zip)
deb=$(ls "$work"/one/jamcg_*_amd64.deb)

# A sample: a picture and an archive, made by the native build.
jamcg=$root/build/native/bin/jamcg
mkdir -p "$work/sample"
{ printf 'P6\n24 12\n255\n'; head -c 864 /dev/zero | tr '\0' '\200'; } > "$work/sample/pic.ppm"
"$jamcg" encode -q "$work/sample/pic.ppm" -o "$work/sample/pic.gcmp"
"$jamcg" pack -q "$work/sample/pic.gcmp" "$work/sample/pic.ppm" -o "$work/sample/set.nsc"

# The zip, unpacked into an empty folder.
mkdir -p "$work/unzipped"
(cd "$work/unzipped" && unzip -q "$zip")
grep -q $'\r$' "$work"/unzipped/*/README-Windows.txt || fail "the guide has no Windows line ends"
for file in install.cmd uninstall.cmd 32-bit/orbelint_wic.dll 64-bit/orbelint_wic.dll; do
  [[ -s $(ls "$work"/unzipped/*/$file) ]] || fail "the zip has no $file"
done
grep -q $'\r$' "$work"/unzipped/*/install.cmd || fail "install.cmd has no Windows line ends"
# The viewer page's zip: the site, whole.
mkdir -p "$work/web"
(cd "$work/web" && unzip -q "$work"/one/jamcg-*-web.zip)
for file in index.html viewer.js viewer_worker.js viewer_module.js viewer_module.wasm; do
  [[ -s $(ls "$work"/web/*/$file) ]] || fail "the web zip has no $file"
done
for edition in 32-bit 64-bit; do
  case $edition in
    32-bit) runner=(sh "$root/cmake/wine_run.sh" wine win32 "$work/prefix32") ;;
    64-bit) runner=(sh "$root/cmake/wine_run.sh" /usr/lib/wine/wine64 win64 "$work/prefix64") ;;
  esac
  exe=$(ls "$work"/unzipped/*/"$edition"/jamcg.exe)
  set +e
  (cd "$work/sample" && "${runner[@]}" "$exe" list set.nsc) > "$work/list.txt" 2>&1
  code=$?
  set -e
  if [[ $code == 77 ]]; then
    echo "skipped: the $edition programs cannot run on this machine"
    continue
  fi
  [[ $code == 0 ]] && grep -q "^2 " "$work/list.txt" || { fail "$edition jamcg.exe list"; cat "$work/list.txt"; }
  (cd "$work/sample" && "${runner[@]}" "$exe" extract -q set.nsc -o "out$edition" &&
    cmp -s "out$edition/1" pic.gcmp && "${runner[@]}" "$exe" convert -q pic.gcmp -o "$edition.png") ||
    fail "$edition jamcg.exe extract or convert"
  [[ -s $work/sample/$edition.png ]] || fail "$edition jamcg.exe wrote no PNG"
  [[ $status == 0 ]] && echo "ok: the $edition jamcg.exe lists, extracts and converts"
done

# The Debian package.
depends=$(dpkg-deb -f "$deb" Depends)
contents=$(dpkg-deb -c "$deb")
[[ $depends == *libgdk-pixbuf* ]] || fail "the package declares no dependency on GdkPixbuf: $depends"
[[ $contents == *loaders/libpixbufloader-gcmpsh0.so* ]] || fail "the package has no loader"
[[ $contents == *man/man1/jamcg.1.gz* ]] || fail "the package has no man page"
# As Debian judges packages: no error and no warning (information and
# pedantic tags may stay).
tags=$(lintian --tag-display-limit 0 "$deb" 2>/dev/null | grep -E '^[EW]: ' || true)
[[ -z $tags ]] || fail "lintian: $tags"
# The man page has every command, and the package's change log the version.
dpkg-deb -x "$deb" "$work/deb"
page=$(zcat "$work/deb/usr/share/man/man1/jamcg.1.gz")
for word in info list check extract convert pack encode thumbnail "EXIT STATUS" EXAMPLES FILES; do
  [[ $page == *"$word"* ]] || fail "the man page lacks $word"
done
version=$(sed -n 's/^project(vizuz_orbelint VERSION \([0-9.]*\) .*/\1/p' "$root/CMakeLists.txt")
[[ $(zcat "$work/deb/usr/share/doc/jamcg/changelog.gz" | head -1) == "jamcg ($version) "* ]] ||
  fail "packaging/changelog does not begin with version $version"
if [[ $(id -u) != 0 ]]; then
  echo "skipped: installing the package needs root"
else
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb" >/dev/null
  [[ $(command -v jamcg) == /usr/bin/jamcg ]] || fail "jamcg is not /usr/bin/jamcg on the PATH"
  listed=$(jamcg list "$work/sample/set.nsc")
  [[ $listed == *$'\n'"2 "* ]] || fail "the installed jamcg cannot list: $listed"
  gdk-pixbuf-thumbnailer -s 16 "$work/sample/pic.gcmp" "$work/thumb.png" ||
    fail "GdkPixbuf does not find the installed loader"
  files=$(dpkg -L jamcg | while read -r f; do [[ -f $f ]] && echo "$f"; done)
  DEBIAN_FRONTEND=noninteractive apt-get purge -y -q jamcg >/dev/null
  for f in $files; do [[ ! -e $f ]] || fail "$f is left after the purge"; done
  [[ $status == 0 ]] && echo "ok: the package installs, works, and leaves nothing when purged"
fi
exit $status
