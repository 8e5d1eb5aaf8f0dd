// This file contains the reading of run-length encoded BMP files (RLE8 and
// RLE4, compression 1 and 2), which stb_image does not read and which some
// tools write by default for pictures of 256 colours or fewer.
//
// After the 14-byte file header and a BITMAPINFOHEADER (40 bytes or longer)
// come the palette (biClrUsed entries, or 2^bits when that is 0, each blue,
// green, red and a spare byte) and, at the offset in bytes 10-13, the pixel
// data: rows from the bottom up as byte pairs.
//   n c      n > 0: n pixels of colour c (RLE4: c's two nibbles alternate)
//   0 0      end of the row
//   0 1      end of the picture
//   0 2 x y  skip x pixels right and y rows up
//   0 n ...  n >= 3: n literal pixels (RLE4: n nibbles), then padding to an
//            even number of bytes
// Pixels that no pair sets take palette colour 0. The data must reach the
// end of the picture or say where it ends (0 1): a file that claims a large
// picture and holds a few bytes is refused before its pixels take memory.
#include "image_files/bmp_rle.h"

#include <cstring>

#include "support/byte_order.h"

namespace {

// Walks the pixel data from `at`, setting the pixels of `index` (rows top
// down) when it is given. True when the data reach the last row or end the
// picture (0 1).
bool WalkPairs(const std::vector<std::uint8_t>& b, std::size_t at, std::int32_t width,
               std::int32_t height, bool four, std::vector<std::uint8_t>* index) {
  std::int64_t x = 0, y = 0;  // y counts rows from the bottom
  auto put = [&](std::uint8_t value) {
    if (index != nullptr && x < width && y < height)
      (*index)[static_cast<std::size_t>(height - 1 - y) * width + x] = value;
    ++x;
  };
  while (at + 2 <= b.size() && y < height) {
    const std::uint8_t n = b[at], c = b[at + 1];
    at += 2;
    if (n != 0) {
      for (int i = 0; i < n; ++i) put(four ? (i % 2 == 0 ? c >> 4 : c & 15) : c);
    } else if (c == 0) {
      x = 0, ++y;
    } else if (c == 1) {
      return true;
    } else if (c == 2) {
      if (at + 2 > b.size()) return false;
      x += b[at], y += b[at + 1];
      at += 2;
    } else {
      const std::size_t bytes = four ? (c + 1) / 2 : c;
      if (at + bytes > b.size()) return false;
      for (int i = 0; i < c; ++i)
        put(four ? (i % 2 == 0 ? b[at + i / 2] >> 4 : b[at + i / 2] & 15) : b[at + i]);
      at += bytes + bytes % 2;
    }
  }
  return y >= height || (y == height - 1 && x >= width);
}

}  // namespace

bool IsRleBmp(const std::vector<std::uint8_t>& b) {
  if (b.size() < 54 || b[0] != 'B' || b[1] != 'M' || LoadLe32(&b[14]) < 40) return false;
  const std::uint32_t kind = LoadLe32(&b[30]), bits = LoadLe16(&b[28]);
  return (kind == 1 && bits == 8) || (kind == 2 && bits == 4);
}

bool DecodeRleBmp(const std::vector<std::uint8_t>& b, std::int64_t largest_side,
                  std::int64_t largest_pixels, Image* image, std::string* error) {
  const auto width = static_cast<std::int32_t>(LoadLe32(&b[18]));
  const auto height = static_cast<std::int32_t>(LoadLe32(&b[22]));  // RLE rows are bottom-up only
  if (width <= 0 || height <= 0 || width > largest_side || height > largest_side ||
      std::int64_t{width} * height > largest_pixels)
    return *error = "BMP size out of range (" + std::to_string(width) + "x" +
                    std::to_string(height) + ")",
           false;
  const bool four = LoadLe32(&b[30]) == 2;
  const std::uint32_t colors_used = LoadLe32(&b[46]);
  const std::uint32_t colors =
      colors_used != 0 && colors_used <= (four ? 16u : 256u) ? colors_used : (four ? 16u : 256u);
  const std::size_t palette_at = 14 + static_cast<std::size_t>(LoadLe32(&b[14]));
  std::uint8_t palette[256][3] = {};
  for (std::uint32_t i = 0; i < colors && palette_at + 4 * i + 3 <= b.size(); ++i) {
    palette[i][0] = b[palette_at + 4 * i + 2];
    palette[i][1] = b[palette_at + 4 * i + 1];
    palette[i][2] = b[palette_at + 4 * i];
  }
  // The pairs are walked twice: first to see that they reach the end, then
  // to set the pixels.
  std::vector<std::uint8_t> index;
  for (int pass = 0; pass < 2; ++pass) {
    if (pass == 1) index.assign(static_cast<std::size_t>(width) * height, 0);
    if (!WalkPairs(b, LoadLe32(&b[10]), width, height, four, pass == 1 ? &index : nullptr))
      return *error = "truncated RLE BMP pixel data", false;
  }
  image->width = width;
  image->height = height;
  image->rgb.resize(3 * index.size());
  for (std::size_t i = 0; i < index.size(); ++i)
    std::memcpy(&image->rgb[3 * i], palette[index[i]], 3);
  return true;
}
