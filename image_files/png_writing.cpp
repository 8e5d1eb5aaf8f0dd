// This file contains the writing of PNG files, described in picture_writing.h.
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "image_files/picture_writing.h"
#include "support/byte_order.h"

namespace {

constexpr std::size_t kIdatBytes = 256 * 1024;

// Writes one PNG chunk: length, type, data, and the CRC of type and data.
bool WriteChunk(const ByteSink& sink, const char type[4], const std::uint8_t* data,
                std::size_t size, std::string* error) {
  std::uint8_t head[8];
  StoreBe32(head, static_cast<std::uint32_t>(size));
  std::memcpy(head + 4, type, 4);
  uLong crc = crc32(0, head + 4, 4);
  if (size != 0) crc = crc32(crc, data, static_cast<uInt>(size));
  std::uint8_t tail[4];
  StoreBe32(tail, static_cast<std::uint32_t>(crc));
  return sink.write(sink.context, head, 8, error) &&
         (size == 0 || sink.write(sink.context, data, size, error)) &&
         sink.write(sink.context, tail, 4, error);
}

std::uint8_t Paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  return static_cast<std::uint8_t>(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// The five filters of a row (`row` after `above`, n bytes, 3 bytes a pixel),
// each into its own candidate line; returns the filter whose output has the
// smallest sum of absolute values (bytes read as signed).
int ChooseFilter(const std::uint8_t* row, const std::uint8_t* above, std::size_t n,
                 std::uint8_t* lines[5]) {
  unsigned long best_sum = ~0ul;
  int best = 0;
  for (int filter = 0; filter < 5; ++filter) {
    std::uint8_t* out = lines[filter];
    unsigned long sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const int a = i >= 3 ? row[i - 3] : 0, b = above[i], c = i >= 3 ? above[i - 3] : 0;
      std::uint8_t predicted = 0;
      switch (filter) {
        case 1: predicted = static_cast<std::uint8_t>(a); break;
        case 2: predicted = static_cast<std::uint8_t>(b); break;
        case 3: predicted = static_cast<std::uint8_t>((a + b) / 2); break;
        case 4: predicted = Paeth(a, b, c); break;
        default: break;
      }
      out[i] = static_cast<std::uint8_t>(row[i] - predicted);
      sum += static_cast<unsigned long>(std::abs(static_cast<std::int8_t>(out[i])));
    }
    if (sum < best_sum) {
      best_sum = sum;
      best = filter;
    }
    if (best_sum == 0) break;  // none can do better (a row like the one above, say)
  }
  return best;
}

// A row as PNG wants it: red first.
void RedFirst(const PixelRows& rows, std::int32_t y, std::uint8_t* out) {
  const std::uint8_t* in = rows.top + rows.stride * y;
  const auto n = 3 * static_cast<std::size_t>(rows.width);
  if (!rows.bgr) {
    std::memcpy(out, in, n);
    return;
  }
  for (std::size_t i = 0; i < n; i += 3) {
    out[i] = in[i + 2];
    out[i + 1] = in[i + 1];
    out[i + 2] = in[i];
  }
}

// The deflate stream of a PNG's image data, written out in IDAT chunks.
struct ImageData {
  z_stream z{};
  std::unique_ptr<std::uint8_t[]> out;
  const ByteSink* sink;

  // Compresses `size` bytes (Z_NO_FLUSH; Z_FINISH ends the stream) and
  // writes a chunk each time the output fills, and the rest at the end.
  bool Put(const std::uint8_t* data, std::size_t size, int flush, std::string* error) {
    z.next_in = const_cast<std::uint8_t*>(data);
    z.avail_in = static_cast<uInt>(size);
    for (;;) {
      const int status = deflate(&z, flush);
      if (status == Z_STREAM_ERROR) return *error = "PNG compression failed", false;
      const bool finished = status == Z_STREAM_END;
      if (z.avail_out == 0 || (finished && z.avail_out != kIdatBytes)) {
        if (!WriteChunk(*sink, "IDAT", out.get(), kIdatBytes - z.avail_out, error)) return false;
        z.next_out = out.get();
        z.avail_out = kIdatBytes;
        continue;
      }
      if (flush == Z_FINISH ? finished : z.avail_in == 0) return true;
    }
  }
};

}  // namespace

bool WritePng(const PixelRows& rows, const ByteSink& sink, std::string* error,
              const std::atomic<bool>* interrupted, RowProgress progress, HostInt user_data) {
  static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::uint8_t header[13] = {};
  StoreBe32(header, static_cast<std::uint32_t>(rows.width));
  StoreBe32(header + 4, static_cast<std::uint32_t>(rows.height));
  header[8] = 8;  // bits per sample
  header[9] = 2;  // RGB
  if (!sink.write(sink.context, kSignature, 8, error) ||
      !WriteChunk(sink, "IHDR", header, sizeof header, error))
    return false;
  // Working rows: this one and the one above (red first), and the five
  // filtered candidates, each behind its filter byte.
  const auto n = 3 * static_cast<std::size_t>(rows.width);
  ImageData data;
  data.sink = &sink;
  data.out.reset(new (std::nothrow) std::uint8_t[kIdatBytes]);
  std::unique_ptr<std::uint8_t[]> work(new (std::nothrow) std::uint8_t[7 * (n + 1)]);
  if (!data.out || !work) return *error = "out of memory", false;
  std::uint8_t* row = work.get();
  std::uint8_t* above = row + n + 1;
  std::uint8_t* lines[5];
  for (int i = 0; i < 5; ++i) lines[i] = above + (n + 1) * (i + 1) + 1;
  std::memset(above, 0, n);
  if (deflateInit2(&data.z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15, 8, Z_FILTERED) != Z_OK)
    return *error = "out of memory", false;
  data.z.next_out = data.out.get();
  data.z.avail_out = kIdatBytes;
  bool ok = true;
  for (std::int32_t y = 0; ok && y < rows.height; ++y) {
    if (interrupted != nullptr && interrupted->load()) {
      *error = "cancelled";
      ok = false;
      break;
    }
    if (progress != nullptr && y % 64 == 0) progress(y, rows.height, user_data);
    RedFirst(rows, y, row);
    const int filter = ChooseFilter(row, above, n, lines);
    lines[filter][-1] = static_cast<std::uint8_t>(filter);
    ok = data.Put(lines[filter] - 1, n + 1, Z_NO_FLUSH, error);
    std::swap(row, above);
  }
  ok = ok && data.Put(nullptr, 0, Z_FINISH, error);
  deflateEnd(&data.z);
  return ok && WriteChunk(sink, "IEND", nullptr, 0, error);
}
