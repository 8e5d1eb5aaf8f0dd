#!/bin/sh
# Checks the viewer page (build/web/site) against native jamcg: its
# WebAssembly module under Node.js (web_module.mjs), then the page itself in
# headless Chromium (web_page.py), on pictures and an archive that jamcg
# makes here.
# Usage: web_checks.sh SITE JAMCG [SCREENSHOT]
set -u
site=$(cd "$1" && pwd) jamcg=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

# Pictures: noise, a gradient with runs, a tall narrow one; one whose data
# end halfway; one with broken pixel data.
python3 - <<'PY'
import random
random.seed(7)
def ppm(name, w, h, pixel):
    with open(name, 'wb') as f:
        f.write(b'P6 %d %d 255\n' % (w, h))
        f.write(bytes(c for y in range(h) for x in range(w) for c in pixel(x, y)))
ppm('noise.ppm', 97, 61, lambda x, y: [random.randrange(256) for _ in range(3)])
ppm('gradient.ppm', 320, 200, lambda x, y: [x % 256, y, (x // 16) * 16 % 256])
ppm('narrow.ppm', 3, 50, lambda x, y: [40 * x, 5 * y, 200])
PY
for p in noise gradient narrow; do
  "$jamcg" encode -q $p.ppm -o $p.gcmp || { echo "FAIL: jamcg encode $p"; exit 1; }
done
head -c $(( $(wc -c < gradient.gcmp) / 2 )) gradient.gcmp > half.gcmp
printf 'GCmpSH0\000\004\000\011\000\030\000\000\000\001\000' > broken.gcmp
"$jamcg" pack -q noise.gcmp gradient.gcmp narrow.ppm half.gcmp -o set.nsc
"$jamcg" list --json set.nsc > set.json
for p in noise gradient narrow half broken; do
  "$jamcg" convert -q -f --format bmp $p.gcmp -o $p.bmp 2> err.txt
  case $(cat err.txt) in
    *"broken pixel data"*) echo "broken pixel data" > $p.verdict ;;
    *"data end"*) echo "the pixel data end before every pixel is coded; the rest is black" > $p.verdict ;;
    *) : > $p.verdict ;;
  esac
done
# The archive cut short: its member 4 runs past the end, in jamcg's words.
head -c $(( $(wc -c < set.nsc) - 1000 )) set.nsc > cut.nsc
"$jamcg" check cut.nsc 2>&1 | sed -n 's/.*member 4 //p' > cut.words
rm -f ./*.ppm err.txt

status=0
# The whole site, compressed as a server would send it, within 300 KiB.
compressed=$(tar -C "$site" -cf - . | gzip -9 | wc -c)
if [ "$compressed" -gt $((300 * 1024)) ]; then
  echo "FAIL: the site is $compressed bytes gzipped, above 300 KiB"
  status=1
else
  echo "ok: the site is $compressed bytes gzipped"
fi
node --no-experimental-fetch "$here/web_module.mjs" "$site" "$work" || status=1
/usr/bin/python3 "$here/web_page.py" "$site" "$work" "${3:-$work/screenshot.png}" || status=1
exit $status
