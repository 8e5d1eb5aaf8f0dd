// The viewer's worker: it reads the user's files (an archive's table, then
// one member at a time, through Blob.slice, never a whole archive) and
// decodes pictures with the WebAssembly module, so that the page never
// waits. Each request is answered with the same id.
'use strict';
importScripts('viewer_module.js');

const modulePromise = createViewerModule();

// The most pixels a picture is shown at full size; larger ones are scaled.
const PIXEL_LIMIT = 2 ** 28;
// What the command-line tool says of the same things.
const TEXT = {
  truncated: 'the pixel data end before every pixel is coded; the rest is black',
  broken: 'broken pixel data',
  notPicture: 'not a GCmpSH0 picture',
  noMemory: 'out of memory',
};

async function readBytes(file, start, size) {
  return new Uint8Array(await file.slice(start, start + size).arrayBuffer());
}

// Copies bytes into the module's memory; the caller frees the block.
function place(M, bytes) {
  const at = M._malloc(Math.max(bytes.length, 1));
  if (at === 0) throw new Error(TEXT.noMemory);
  M.HEAPU8.set(bytes, at);
  return at;
}

function pastTheEnd(position, size, fileSize) {
  return `runs past the end of the file (${position} + ${size} > ${fileSize} bytes)`;
}

// An archive's members as hosts list them (2 bytes or more), or null when
// the file is not an NSC archive.
async function listArchive(M, file) {
  const head = await readBytes(file, 0, 12);
  if (head.length < 12) return null;
  let at = place(M, head);
  const tableSize = M._viewer_table_size(at) >>> 0;
  M._free(at);
  if (tableSize === 0) return null;
  const table = await readBytes(file, 0, tableSize);
  at = place(M, table);
  try {
    const count = M._viewer_member_count(at, table.length);
    if (count < 0) return null;
    const sizes = M._malloc(8 * count + 8), names = M._malloc(16 * count + 16);
    M._viewer_list(at, table.length, sizes, names);
    const members = [];
    const words = new Uint32Array(M.HEAPU8.buffer, sizes, 2 * count);
    const text = M.HEAPU8.subarray(names, names + 16 * count);
    for (let k = 0; k < count; ++k) {
      const position = words[2 * k], size = words[2 * k + 1];
      if (size < 2) continue;  // hosts do not list members of 0 or 1 bytes
      let end = 16 * k;
      while (text[end] !== 0) ++end;
      const name = String.fromCharCode(...text.subarray(16 * k, end));
      const problem = position + size > file.size ? pastTheEnd(position, size, file.size) : '';
      members.push({ name, position, size, problem });
    }
    M._free(sizes);
    M._free(names);
    return members;
  } finally {
    M._free(at);
  }
}

// The picture's size from its first 16 bytes, or null.
async function pictureSize(M, file, position) {
  const head = await readBytes(file, position, 16);
  if (head.length < 16) return null;
  const at = place(M, head), out = M._malloc(8);
  const ok = M._viewer_picture_size(at, out);
  const size = ok ? { width: M.HEAP32[out >> 2], height: M.HEAP32[(out >> 2) + 1] } : null;
  M._free(at);
  M._free(out);
  return size;
}

// Decodes the picture (`size` bytes at `position`) to fit in max x max pixels
// (max 0: full size, up to the pixel limit). Returns its pixels (RGBA), the
// size decoded, the picture's own size and the problem found, if any.
async function decode(M, file, position, size, max) {
  const full = await pictureSize(M, file, position);
  if (full === null) return { problem: TEXT.notPicture };
  let scale = max > 0 ? Math.min(1, max / full.width, max / full.height)
                      : Math.min(1, Math.sqrt(PIXEL_LIMIT / (full.width * full.height)));
  const width = Math.max(1, Math.floor(full.width * scale));
  const height = Math.max(1, Math.floor(full.height * scale));
  const bytes = await readBytes(file, position, size);
  const at = place(M, bytes);
  const pixels = M._malloc(4 * width * height), flag = M._malloc(4);
  try {
    if (pixels === 0) return { problem: TEXT.noMemory };
    const status = M._viewer_decode(at, bytes.length, width, height, pixels, flag);
    if (status === 3) return { problem: TEXT.broken, full };
    if (status === 4) return { problem: TEXT.noMemory, full };
    if (status !== 0) return { problem: TEXT.notPicture };
    const rgba = M.HEAPU8.slice(pixels, pixels + 4 * width * height);
    const problem = M.HEAP32[flag >> 2] ? TEXT.truncated : '';
    return { rgba, width, height, full, problem };
  } finally {
    M._free(at);
    M._free(pixels);
    M._free(flag);
  }
}

async function pngOf(result) {
  const canvas = new OffscreenCanvas(result.width, result.height);
  const image = new ImageData(new Uint8ClampedArray(result.rgba.buffer), result.width, result.height);
  canvas.getContext('2d').putImageData(image, 0, 0);
  return new Uint8Array(await (await canvas.convertToBlob({ type: 'image/png' })).arrayBuffer());
}

self.onmessage = async (event) => {
  const { id, kind, file, position, size, max } = event.data;
  try {
    const M = await modulePromise;
    if (kind === 'list') {
      const members = await listArchive(M, file);
      self.postMessage({ id, members });
    } else if (kind === 'decode') {
      const result = await decode(M, file, position, size, max);
      self.postMessage({ id, ...result }, result.rgba ? [result.rgba.buffer] : []);
    } else if (kind === 'png') {
      const result = await decode(M, file, position, size, 0);
      const png = result.rgba ? await pngOf(result) : null;
      self.postMessage({ id, png, problem: result.problem }, png ? [png.buffer] : []);
    }
  } catch (error) {
    self.postMessage({ id, problem: String(error && error.message || error) });
  }
};
