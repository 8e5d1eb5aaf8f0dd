// Tests the viewer page's WebAssembly module under Node.js against native
// jamcg: every picture decoded at full size has the pixels of jamcg's BMP of
// it, smaller sizes are the box-filtered means, the verdicts are jamcg's, and
// an archive lists what `jamcg list --json` lists.
// Usage: node web_module.mjs SITE WORK
// WORK holds NAME.gcmp pictures with jamcg's NAME.bmp beside each (none for
// broken ones), NAME.verdict (jamcg's words, or empty), and set.nsc with
// set.json.
import { createRequire } from 'node:module';
import { readFileSync, readdirSync, existsSync } from 'node:fs';

const [site, work] = process.argv.slice(2);
const createViewerModule = createRequire(import.meta.url)(`${site}/viewer_module.js`);
const M = await createViewerModule();
let failures = 0;
function check(condition, what) {
  if (!condition) {
    console.log(`FAIL: ${what}`);
    ++failures;
  }
}

function place(bytes) {
  const at = M._malloc(Math.max(bytes.length, 1));
  M.HEAPU8.set(bytes, at);
  return at;
}

function decode(bytes, width, height) {
  const at = place(bytes), out = M._malloc(4 * width * height), flag = M._malloc(4);
  const status = M._viewer_decode(at, bytes.length, width, height, out, flag);
  const rgba = M.HEAPU8.slice(out, out + 4 * width * height);
  const truncated = M.HEAP32[flag >> 2] === 1;
  [at, out, flag].forEach((p) => M._free(p));
  return { status, rgba, truncated };
}

function pictureSize(bytes) {
  const at = place(bytes.subarray(0, 16)), out = M._malloc(8);
  const ok = M._viewer_picture_size(at, out);
  const size = { width: M.HEAP32[out >> 2], height: M.HEAP32[(out >> 2) + 1] };
  M._free(at);
  M._free(out);
  return ok ? size : null;
}

// A 24-bit BMP's pixels, top-down, red first.
function readBmp(path) {
  const b = readFileSync(path);
  const offset = b.readUInt32LE(10), width = b.readInt32LE(18), height = b.readInt32LE(22);
  const stride = Math.ceil((3 * width) / 4) * 4, rgb = new Uint8Array(3 * width * height);
  for (let y = 0; y < height; ++y) {
    for (let x = 0; x < width; ++x) {
      const at = offset + stride * (height - 1 - y) + 3 * x, to = 3 * (width * y + x);
      rgb[to] = b[at + 2];
      rgb[to + 1] = b[at + 1];
      rgb[to + 2] = b[at];
    }
  }
  return { width, height, rgb };
}

function boxScaled(full, width, height) {
  const out = new Uint8Array(4 * width * height);
  for (let y = 0; y < height; ++y) {
    for (let x = 0; x < width; ++x) {
      const x0 = Math.floor((x * full.width) / width), x1 = Math.floor(((x + 1) * full.width) / width);
      const y0 = Math.floor((y * full.height) / height), y1 = Math.floor(((y + 1) * full.height) / height);
      for (let c = 0; c < 3; ++c) {
        let sum = 0, count = 0;
        for (let sy = y0; sy < y1; ++sy)
          for (let sx = x0; sx < x1; ++sx, ++count) sum += full.rgb[3 * (sy * full.width + sx) + c];
        out[4 * (y * width + x) + c] = Math.floor((sum + Math.floor(count / 2)) / count);
      }
      out[4 * (y * width + x) + 3] = 255;
    }
  }
  return out;
}

function samePixels(rgba, rgb) {
  for (let i = 0, j = 0; j < rgb.length; i += 4, j += 3) {
    if (rgba[i] !== rgb[j] || rgba[i + 1] !== rgb[j + 1] || rgba[i + 2] !== rgb[j + 2] || rgba[i + 3] !== 255)
      return false;
  }
  return true;
}

let pictures = 0;
for (const name of readdirSync(work).filter((n) => n.endsWith('.gcmp')).sort()) {
  const stem = name.slice(0, -5), bytes = readFileSync(`${work}/${name}`);
  const verdict = readFileSync(`${work}/${stem}.verdict`, 'utf8').trim();
  const size = pictureSize(bytes);
  check(size !== null, `${name}: header read`);
  const full = decode(bytes, size.width, size.height);
  if (verdict === 'broken pixel data') {
    check(full.status === 3, `${name}: status ${full.status}, expected 3 (broken pixel data)`);
    continue;
  }
  check(full.status === 0, `${name}: status ${full.status}`);
  check(full.truncated === (verdict !== ''), `${name}: truncated ${full.truncated}, jamcg said '${verdict}'`);
  const bmp = readBmp(`${work}/${stem}.bmp`);
  check(bmp.width === size.width && bmp.height === size.height, `${name}: size`);
  check(samePixels(full.rgba, bmp.rgb), `${name}: pixels differ from jamcg's BMP`);
  const w = Math.floor(size.width / 3) + 1, h = Math.floor(size.height / 5) + 1;
  const small = decode(bytes, w, h);
  check(small.status === 0 && Buffer.compare(Buffer.from(small.rgba), Buffer.from(boxScaled(bmp, w, h))) === 0,
        `${name}: at ${w}x${h} not the box-filtered means`);
  ++pictures;
}
check(pictures >= 3, `only ${pictures} pictures compared`);

// The archive's listing.
const archive = readFileSync(`${work}/set.nsc`);
const expected = readFileSync(`${work}/set.json`, 'utf8').trim().split('\n').map((l) => JSON.parse(l));
let at = place(archive.subarray(0, 12));
const tableSize = M._viewer_table_size(at);
M._free(at);
at = place(archive.subarray(0, tableSize));
const count = M._viewer_member_count(at, tableSize);
const sizes = M._malloc(8 * count), names = M._malloc(16 * count);
check(M._viewer_list(at, tableSize, sizes, names) === count, 'archive listed');
const listed = [];
for (let k = 0; k < count; ++k) {
  const position = M.HEAPU32[(sizes >> 2) + 2 * k], size = M.HEAPU32[(sizes >> 2) + 2 * k + 1];
  let end = names + 16 * k;
  while (M.HEAPU8[end] !== 0) ++end;
  const name = Buffer.from(M.HEAPU8.subarray(names + 16 * k, end)).toString();
  if (size > 1) listed.push({ name, position, size });
}
check(JSON.stringify(listed) === JSON.stringify(expected),
      `archive listing ${JSON.stringify(listed)} differs from jamcg's ${JSON.stringify(expected)}`);
check(M._viewer_table_size(place(new Uint8Array(12))) === 0, 'zeros are no archive');
console.log(failures === 0 ? `ok: ${pictures} pictures and an archive of ${listed.length} members as jamcg has them` : `${failures} failures`);
process.exit(failures === 0 ? 0 : 1);
