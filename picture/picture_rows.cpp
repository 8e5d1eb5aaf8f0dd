// This file contains the decoding of a picture row by row.
#include "picture/picture_rows.h"

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
    const std::uint64_t pixels_left = std::uint64_t{static_cast<std::uint32_t>(y) + 1} *
                                      static_cast<std::uint32_t>(width);
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
