// This file contains the decoding of a picture row by row.
#include "picture/picture_rows.h"

#include <memory>
#include <new>

bool StartPictureRows(PictureRows& p, InputSource& input) {
  p.rows_done = 0;
  return ReadPictureHeader(input, &p.header) && PrimeDecoder(p.decoder, input);
}

bool ScaleRows(PictureRows& p, RowScaling& scaling, std::uint8_t* row, std::int32_t count) {
  const std::int32_t width = p.header.width;
  const std::int32_t height = p.header.height;
  for (; count > 0 && p.rows_done < height; --count) {
    // Stream row r is row height - 1 - r counted from the top.
    const std::int32_t y = height - 1 - p.rows_done;
    const std::uint64_t pixels_left =
        std::uint64_t{static_cast<std::uint32_t>(y) + 1} * static_cast<std::uint32_t>(width);
    std::uint32_t color = 0;
    if (RestIsOneColor(p.decoder, pixels_left, &color)) {
      AddOneColorRows(scaling, y, 0, color);
      p.rows_done = height;
      return true;
    }
    if (!DecodeRow(p.decoder, row, width)) return false;
    AddSourceRow(scaling, y, row);
    ++p.rows_done;
  }
  return true;
}

StatusCode DecodeScaledPicture(InputSource& input, std::int32_t width, std::int32_t height,
                               std::uint8_t* out, std::ptrdiff_t stride, bool* truncated) {
  std::unique_ptr<PictureRows> rows(new (std::nothrow) PictureRows{});
  if (!rows) return NoMemory;
  if (!StartPictureRows(*rows, input)) return input.status;
  const PictureHeader& header = rows->header;
  if (width < 1 || height < 1 || width > header.width || height > header.height)
    return UnsupportedFormat;
  std::unique_ptr<std::uint64_t[]> memory(
      new (std::nothrow) std::uint64_t[ScalingMemoryBytes(width) / sizeof(std::uint64_t) + 1]);
  std::unique_ptr<std::uint8_t[]> row(new (std::nothrow)
                                          std::uint8_t[3 * static_cast<std::size_t>(header.width)]);
  if (!memory || !row) return NoMemory;
  RowScaling scaling{};
  StartRowScaling(scaling, memory.get(), header.width, header.height, width, height, out, stride,
                  false);
  while (!PictureDone(*rows)) {
    if (!ScaleRows(*rows, scaling, row.get(), 64)) return input.status;
  }
  *truncated = rows->decoder.truncated;
  return Ok;
}
