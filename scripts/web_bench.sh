#!/usr/bin/env bash
# Decodes the benchmark pictures (those scripts/bench.sh fetches and reads) in
# headless Chromium with the viewer page's WebAssembly module, and prints
# Mpx/s beside the native GetPicture of picture_benchmark, measured in the
# same run on the same machine. Not part of the tests.
# Usage: scripts/web_bench.sh   (after scripts/bench.sh has fetched the pictures)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
need_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" libbenchmark-dev
pictures=build/bench/pictures
[[ -f $pictures/.made ]] || { echo "run scripts/bench.sh first: it fetches the pictures" >&2; exit 1; }
names=(photo-garden.ppm photo-ladybird.ppm dithered-garden.ppm flat-homeworld.png
       flat-moonlight.png gradient-mate-stripes.png gradient-sway-blue.png smooth-mate-cold.png
       screen-edit-user.png screen-gosa-overview.png)
jobs=$(nproc 2>/dev/null || echo 2)
for preset in bench web; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs" >/dev/null
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r build/web/site/. "$work/"
for name in "${names[@]}"; do
  build/bench/bin/jamcg encode -q "$pictures/$name" -o "$work/${name%.*}.gcmp"
done
# The native figures first (medians of 5).
build/bench/bin/picture_benchmark --benchmark_filter=GetPicture --benchmark_min_time=0.2 \
  --benchmark_repetitions=5 --benchmark_report_aggregates_only=true "${names[@]/#/$pictures/}" \
  2>/dev/null | grep -E '^\| [a-z]' | awk -F'|' 'NR > 1 {gsub(/ /, "", $2); gsub(/ /, "", $7); print $2, $7}' \
  > "$work/native.txt"
/usr/bin/python3 - "$work" "${names[@]%.*}" <<'PY'
import functools, http.server, sys, threading
from selenium import webdriver
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service

work, names = sys.argv[1], sys.argv[2:]
native = dict(line.split() for line in open(f"{work}/native.txt"))
with open(f"{work}/bench.html", "w") as page:
    page.write("""<!doctype html><script src="viewer_module.js"></script><script>
async function run(names) {
  const M = await createViewerModule(), out = [];
  for (const name of names) {
    const bytes = new Uint8Array(await (await fetch(name + '.gcmp')).arrayBuffer());
    const file = M._malloc(bytes.length); M.HEAPU8.set(bytes, file);
    const size = M._malloc(8); M._viewer_picture_size(file, size);
    const w = M.HEAP32[size >> 2], h = M.HEAP32[(size >> 2) + 1];
    const rgba = M._malloc(4 * w * h), flag = M._malloc(4);
    const times = [];
    for (let i = 0; i < 7; ++i) {
      const start = performance.now();
      M._viewer_decode(file, bytes.length, w, h, rgba, flag);
      times.push(performance.now() - start);
    }
    times.sort((a, b) => a - b);
    out.push([name, w * h / times[3] / 1000]);
    [file, size, rgba, flag].forEach((p) => M._free(p));
  }
  return out;
}
</script>""")
class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args): pass
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Quiet, directory=work))
threading.Thread(target=server.serve_forever, daemon=True).start()
options = Options()
options.binary_location = "/usr/bin/chromium"
for argument in ("--headless=new", "--no-sandbox"):
    options.add_argument(argument)
driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
driver.set_script_timeout(600)
driver.get(f"http://127.0.0.1:{server.server_address[1]}/bench.html")
results = driver.execute_async_script("run(arguments[0]).then(arguments[1])", names)
driver.quit()
server.shutdown()
print("| picture | Chromium, WebAssembly Mpx/s | native GetPicture Mpx/s | ratio |")
print("|---|---|---|---|")
for name, rate in results:
    base = float(native.get(name, "nan"))
    print(f"| {name} | {rate:.0f} | {base:.0f} | {rate / base:.2f}x |")
PY
