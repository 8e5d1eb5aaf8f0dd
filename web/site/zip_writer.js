// A ZIP file of stored entries (PNG files are compressed already), built as
// a list of parts for a Blob, so that no part is copied into one large
// buffer. Names are UTF-8; without ZIP64 a file holds at most 65535
// entries and 4 GiB, and add() refuses beyond.
'use strict';

const CRC_TABLE = (() => {
  const table = new Uint32Array(256);
  for (let n = 0; n < 256; ++n) {
    let c = n;
    for (let k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320 ^ (c >>> 1) : c >>> 1;
    table[n] = c >>> 0;
  }
  return table;
})();

function crc32(bytes) {
  let c = 0xFFFFFFFF;
  for (let i = 0; i < bytes.length; ++i) c = CRC_TABLE[(c ^ bytes[i]) & 0xFF] ^ (c >>> 8);
  return (c ^ 0xFFFFFFFF) >>> 0;
}

// Starts a ZIP; add(name, bytes) for each file, then blob() for the whole.
function zipWriter() {
  const parts = [], central = [];
  let offset = 0, count = 0;
  const encoder = new TextEncoder();
  return {
    add(name, bytes) {
      const nameBytes = encoder.encode(name);
      if (offset + bytes.length + 30 + nameBytes.length > 0xFFFFFFFF || count === 0xFFFF)
        throw new Error('a ZIP file holds at most 65535 files and 4 GiB; save fewer pictures at once');
      const crc = crc32(bytes);
      const local = new DataView(new ArrayBuffer(30));
      local.setUint32(0, 0x04034b50, true);
      local.setUint16(4, 20, true);      // version needed
      local.setUint16(6, 0x0800, true);  // names in UTF-8
      local.setUint16(8, 0, true);       // stored
      local.setUint32(14, crc, true);
      local.setUint32(18, bytes.length, true);
      local.setUint32(22, bytes.length, true);
      local.setUint16(26, nameBytes.length, true);
      parts.push(local.buffer, nameBytes, bytes);
      const entry = new DataView(new ArrayBuffer(46));
      entry.setUint32(0, 0x02014b50, true);
      entry.setUint16(4, 20, true);
      entry.setUint16(6, 20, true);
      entry.setUint16(8, 0x0800, true);
      entry.setUint32(16, crc, true);
      entry.setUint32(20, bytes.length, true);
      entry.setUint32(24, bytes.length, true);
      entry.setUint16(28, nameBytes.length, true);
      entry.setUint32(42, offset, true);
      central.push(entry.buffer, nameBytes);
      offset += 30 + nameBytes.length + bytes.length;
      ++count;
    },
    blob() {
      const size = central.reduce((sum, part) => sum + part.byteLength, 0);
      const end = new DataView(new ArrayBuffer(22));
      end.setUint32(0, 0x06054b50, true);
      end.setUint16(8, count, true);
      end.setUint16(10, count, true);
      end.setUint32(12, size, true);
      end.setUint32(16, offset, true);
      return new Blob([...parts, ...central, end.buffer], { type: 'application/zip' });
    },
  };
}
