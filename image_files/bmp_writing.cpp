// This file contains the writing of 24-bit BMP files, described in
// picture_writing.h, and the layout of a DIB's rows they share.
#include <memory>
#include <new>

#include "image_files/picture_writing.h"
#include "support/byte_order.h"

PixelRows DibRows(std::int32_t width, std::int32_t height, const std::uint8_t* bits) {
  const auto stride = static_cast<std::ptrdiff_t>(DibBytes(width, 1));
  return PixelRows{width, height, bits + stride * (height - 1), -stride, true};
}

std::size_t DibBytes(std::int32_t width, std::int32_t height) {
  return (3 * static_cast<std::size_t>(width) + 3) / 4 * 4 * static_cast<std::size_t>(height);
}

bool WriteBmp(const PixelRows& rows, const ByteSink& sink, std::string* error) {
  const std::size_t pixel_bytes = DibBytes(rows.width, rows.height);
  const std::size_t row_bytes = DibBytes(rows.width, 1);
  std::uint8_t header[54] = {'B', 'M'};
  StoreLe32(header + 2, static_cast<std::uint32_t>(54 + pixel_bytes));
  StoreLe32(header + 10, 54);
  StoreLe32(header + 14, 40);
  StoreLe32(header + 18, static_cast<std::uint32_t>(rows.width));
  StoreLe32(header + 22, static_cast<std::uint32_t>(rows.height));
  StoreLe16(header + 26, 1);
  StoreLe16(header + 28, 24);
  if (!sink.write(sink.context, header, sizeof header, error)) return false;
  const std::uint8_t* bottom = rows.top + rows.stride * (rows.height - 1);
  if (rows.bgr && rows.stride == -static_cast<std::ptrdiff_t>(row_bytes))
    return sink.write(sink.context, bottom, pixel_bytes, error);  // a DIB already
  std::unique_ptr<std::uint8_t[]> line(new (std::nothrow) std::uint8_t[row_bytes]());
  if (!line) return *error = "out of memory", false;
  for (std::int32_t y = rows.height - 1; y >= 0; --y) {
    const std::uint8_t* in = rows.top + rows.stride * y;
    for (std::size_t i = 0; i < 3 * static_cast<std::size_t>(rows.width); i += 3) {
      line[i] = in[i + (rows.bgr ? 0 : 2)];
      line[i + 1] = in[i + 1];
      line[i + 2] = in[i + (rows.bgr ? 2 : 0)];
    }
    if (!sink.write(sink.context, line.get(), row_bytes, error)) return false;
  }
  return true;
}
