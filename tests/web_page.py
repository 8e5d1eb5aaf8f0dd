"""Drives the viewer page in headless Chromium as a user would.

Serves the site from a local server, gives an archive to the file input,
waits for the grid and its thumbnails, opens a picture and compares every
pixel with native jamcg's BMP of it, saves it as PNG and compares that too,
steps with the arrow keys and closes with Escape, saves the archive's
pictures as a ZIP and reads it back, opens a broken and a
truncated picture and reads jamcg's words on the page, and checks that no
request left the page's origin and that nothing was logged as an error.
A screenshot of the grid is kept (SCREENSHOT), checked for a known colour.

Usage: web_page.py SITE WORK [SCREENSHOT]  (WORK as web_checks.sh makes it)
"""
import functools
import http.server
import os
import struct
import sys
import threading
import time
import zipfile
import zlib

from selenium import webdriver
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

site, work = sys.argv[1], sys.argv[2]
screenshot = sys.argv[3] if len(sys.argv) > 3 else os.path.join(work, "screenshot.png")
failures = []


def check(condition, what):
    if not condition:
        print("FAIL:", what)
        failures.append(what)


def read_bmp(path):
    """A 24-bit BMP's pixels, top-down, as (red, green, blue) rows."""
    data = open(path, "rb").read()
    offset, = struct.unpack_from("<I", data, 10)
    width, height = struct.unpack_from("<ii", data, 18)
    stride = (3 * width + 3) // 4 * 4
    rows = []
    for y in range(height):
        at = offset + stride * (height - 1 - y)
        rows.append([(data[at + 3 * x + 2], data[at + 3 * x + 1], data[at + 3 * x]) for x in range(width)])
    return width, height, rows


def read_png(path):
    """An 8-bit RGB or RGBA PNG's pixels as (red, green, blue) rows."""
    data = open(path, "rb").read()
    at, idat, width = 8, b"", 0
    while at < len(data):
        length, kind = struct.unpack_from(">I4s", data, at)
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack_from(">IIBB", body)
            assert depth == 8 and colour in (2, 6), (depth, colour)
            channels = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    raw, stride, rows, above = zlib.decompress(idat), width * channels, [], bytearray(width * channels)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b, c = above[i], above[i - channels] if i >= channels else 0
            p = a + b - c
            predictor = [0, a, b, (a + b) // 2,
                         a if abs(p - a) <= abs(p - b) and abs(p - a) <= abs(p - c) else b if abs(p - b) <= abs(p - c) else c][kind]
            line[i] = (line[i] + predictor) & 255
        rows.append([tuple(line[channels * x:channels * x + 3]) for x in range(width)])
        above = line
    return width, height, rows


def downloaded(path):
    """True once the browser has saved `path` (within 20 seconds)."""
    for _ in range(200):
        if os.path.exists(path):
            return True
        time.sleep(0.1)
    return False


# The site from a local server, every request noted.
requested = []


class Handler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, format, *args):
        requested.append(self.path)


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Handler, directory=site))
threading.Thread(target=server.serve_forever, daemon=True).start()
origin = f"http://127.0.0.1:{server.server_address[1]}"

downloads = os.path.join(work, "downloads")
os.makedirs(downloads, exist_ok=True)
options = Options()
options.binary_location = "/usr/bin/chromium"
for argument in ("--headless=new", "--no-sandbox", "--window-size=1200,900", "--disable-gpu"):
    options.add_argument(argument)
options.add_experimental_option("prefs", {"download.default_directory": downloads,
                                          "download.prompt_for_download": False})
options.set_capability("goog:loggingPrefs", {"browser": "ALL", "performance": "ALL"})
driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
wait = WebDriverWait(driver, 30)
try:
    driver.get(origin + "/index.html")
    opener = driver.find_element(By.ID, "open")
    opener.send_keys(os.path.join(work, "set.nsc"))
    wait.until(lambda d: len(d.find_elements(By.CSS_SELECTOR, ".archive .cell")) == 4)
    # Thumbnails for the three pictures; the PPM member is listed as a file.
    # (Cells are redrawn as each thumbnail comes: the grid is read once all
    # four have come.)
    wait.until(lambda d: d.execute_script(
        "return document.querySelectorAll('.archive .cell canvas').length === 3 && "
        "[...document.querySelectorAll('.archive .cell')].some((c) => c.innerText.includes('click to save'))"))
    driver.save_screenshot(screenshot)
    cells = driver.find_elements(By.CSS_SELECTOR, ".archive .cell")
    labels = sorted(c.get_attribute("aria-label") for c in cells)
    check(labels[0].startswith("1, 97×61"), f"member 1's label: {labels[0]}")
    check("the pixel data end before every pixel is coded" in labels[3], f"member 4's label: {labels[3]}")

    # Member 1 (noise.gcmp) at full size: every pixel as jamcg gives it.
    next(c for c in cells if c.get_attribute("aria-label").startswith("1,")).click()
    wait.until(lambda d: d.execute_script("return document.getElementById('picture').width") == 97)
    pixels = driver.execute_script("""
        const c = document.getElementById('picture');
        return Array.from(c.getContext('2d').getImageData(0, 0, c.width, c.height).data);""")
    width, height, rows = read_bmp(os.path.join(work, "noise.bmp"))
    shown = [[tuple(pixels[4 * (y * width + x):4 * (y * width + x) + 3]) for x in range(width)] for y in range(height)]
    check(shown == rows, "the picture on the page differs from jamcg's BMP")
    driver.find_element(By.ID, "save").click()
    saved = os.path.join(downloads, "1.png")
    check(downloaded(saved) and read_png(saved)[2] == rows, "the saved PNG differs from jamcg's BMP")
    # The arrow key steps to member 2 (gradient.gcmp, 320 x 200); Escape closes.
    driver.find_element(By.TAG_NAME, "body").send_keys(Keys.ARROW_RIGHT)
    wait.until(lambda d: d.execute_script("return document.getElementById('picture').width") == 320)
    driver.find_element(By.TAG_NAME, "body").send_keys(Keys.ESCAPE)
    wait.until(lambda d: d.execute_script("return document.getElementById('viewer').hidden"))

    # All pictures as a ZIP of PNG files: members 1, 2 and 4 (3 is no picture).
    driver.find_element(By.CSS_SELECTOR, ".archive button").click()
    archive = os.path.join(downloads, "set.zip")
    if downloaded(archive):
        with zipfile.ZipFile(archive) as z:
            check(z.testzip() is None and z.namelist() == ["1.png", "2.png", "4.png"], f"ZIP: {z.namelist()}")
            z.extract("1.png", os.path.join(work, "unzipped"))
        check(read_png(os.path.join(work, "unzipped", "1.png"))[2] == rows, "1.png in the ZIP differs")
    else:
        check(False, "no ZIP was saved")

    # A broken picture, a truncated one and a member past the end of its
    # archive, with jamcg's words.
    past_the_end = open(os.path.join(work, "cut.words")).read().strip()
    check(past_the_end.startswith("runs past the end"), f"jamcg said: {past_the_end}")
    for name, words in (("cut.nsc", past_the_end),
                        ("broken.gcmp", "broken pixel data"),
                        ("half.gcmp", "the pixel data end before every pixel is coded; the rest is black")):
        opener.send_keys(os.path.join(work, name))
        # (The texts are read in one script: cells are redrawn as thumbnails come.)
        wait.until(lambda d: any(words in text for text in d.execute_script(
            "return [...document.querySelectorAll('.cell')].map((c) => c.innerText)")))

    # Nothing but the site's own files was asked for; nothing left the origin.
    for entry in driver.get_log("performance"):
        if '"Network.requestWillBeSent"' in entry["message"]:
            url = entry["message"].split('"url":"', 1)[1].split('"', 1)[0]
            check(url.startswith((origin, "blob:", "data:")), f"a request left the page's origin: {url}")
    errors = [e for e in driver.get_log("browser") if e["level"] == "SEVERE"]
    check(not errors, f"errors logged: {errors}")
    check(set(p.split("?")[0] for p in requested) <= {"/index.html", "/viewer.css", "/viewer.js",
                                                       "/zip_writer.js", "/viewer_worker.js",
                                                       "/viewer_module.js", "/viewer_module.wasm",
                                                       "/favicon.svg"},
          f"requests: {requested}")
finally:
    driver.quit()
    server.shutdown()

# The screenshot of the grid: the page's white header at the top.
shot_width, shot_height, shot = read_png(screenshot)
check(shot[5][5] == (255, 255, 255), f"screenshot: the header's background is {shot[5][5]}")
print(f"ok: the page lists, shows, saves and names problems as jamcg does ({screenshot})"
      if not failures else f"{len(failures)} failures")
sys.exit(1 if failures else 0)
