#!/bin/sh
# The desktop's own programs with the project's files, from the build tree,
# nothing installed: Debian's gdk-pixbuf-thumbnailer makes a thumbnail of a
# GCmpSH0 picture through the loader module, and GIO names the project's MIME
# types for a picture with no extension and for an archive.
# `jamcg thumbnail` makes one of an archive.
# Usage: desktop_integration.sh BUILD_DIR JAMCG
set -u
build=$1 jamcg=$2
export GDK_PIXBUF_MODULE_FILE=$build/loaders.cache XDG_DATA_DIRS=$build/share:/usr/share
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
status=0
fail() { echo "FAIL: $*"; status=1; }

{ printf 'P6\n160 90\n255\n'; i=0; while [ $i -lt 14400 ]; do printf '\%03o\%03o\%03o' $((i % 160)) $((i / 160 * 2)) 90; i=$((i + 1)); done; } > wide.ppm
"$jamcg" encode -q wide.ppm -o picture
printf 'notes\n' > notes.txt
"$jamcg" pack -q picture notes.txt -o set.nsc

gdk-pixbuf-thumbnailer -s 64 picture thumb.png || fail "gdk-pixbuf-thumbnailer failed"
# A 160x90 picture fits 64x36.
head -c 24 thumb.png | od -An -tx1 | tr -d ' \n' | grep -q '0000004000000024$' ||
  fail "the thumbnail is not a 64x36 PNG: $(head -c 24 thumb.png | od -An -tx1)"

"$jamcg" thumbnail set.nsc 64 archive.png || fail "jamcg thumbnail failed"
head -c 24 archive.png | od -An -tx1 | tr -d ' \n' | grep -q '0000004000000024$' ||
  fail "the archive's thumbnail is not a 64x36 PNG"

type=$(gio info -a standard::content-type picture | sed -n 's/.*content-type: //p')
[ "$type" = "image/x-gcmpsh0" ] || fail "a picture with no extension is '$type'"
type=$(gio info -a standard::content-type set.nsc | sed -n 's/.*content-type: //p')
[ "$type" = "application/x-nsc-archive" ] || fail "an archive is '$type'"
cp set.nsc unnamed
type=$(gio info -a standard::content-type unnamed | sed -n 's/.*content-type: //p')
[ "$type" = "application/x-nsc-archive" ] || fail "an archive with no extension is '$type'"
# Beside the system's types, as installed: Debian's database also names
# *.nsc (application/x-netshow-channel), so an archive is ours by its magic
# and a text file named .nsc is not.
mkdir -p home/mime/packages
cp /usr/share/mime/packages/freedesktop.org.xml "$build/share/mime/packages/jamcg.xml" home/mime/packages/
update-mime-database home/mime 2> /dev/null
printf 'a text file\n' > text.nsc
for pair in "set.nsc application/x-nsc-archive" "text.nsc text/plain application/x-netshow-channel"; do
  set -- $pair
  type=$(XDG_DATA_HOME=$work/home XDG_DATA_DIRS=$work/none gio info -a standard::content-type "$1" |
    sed -n 's/.*content-type: //p')
  file=$1
  shift
  case " $* " in *" $type "*) ;; *) fail "$file beside the system's types is '$type'" ;; esac
done
[ $status -eq 0 ] && echo "thumbnails and MIME types work from the build tree"
exit $status
