// This file contains the scaling of rows down as they come.
#include "picture/row_scaling.h"

#include <cstring>

namespace {

// The first source row of output row `oy` (oy = height gives source_height).
std::int32_t RowStart(const RowScaling& s, std::int32_t oy) {
  return static_cast<std::int32_t>(std::int64_t{oy} * s.source_height / s.height);
}

// The output row that source row `y` counts in: the last one starting at or
// before it.
std::int32_t OutputRowOf(const RowScaling& s, std::int32_t y) {
  return static_cast<std::int32_t>(
      ((std::int64_t{y} + 1) * s.height + s.source_height - 1) / s.source_height - 1);
}

std::int32_t RowsIn(const RowScaling& s, std::int32_t oy) {
  return RowStart(s, oy + 1) - RowStart(s, oy);
}

std::uint8_t* OutputRow(const RowScaling& s, std::int32_t oy) {
  return s.out + s.out_stride * oy;
}

void PutPixel(const RowScaling& s, std::uint8_t* to, const std::uint32_t rgb[3]) {
  to[0] = static_cast<std::uint8_t>(rgb[s.swap_red_blue ? 2 : 0]);
  to[1] = static_cast<std::uint8_t>(rgb[1]);
  to[2] = static_cast<std::uint8_t>(rgb[s.swap_red_blue ? 0 : 2]);
}

void StartGathering(RowScaling& s, std::int32_t oy) {
  s.gathering = oy;
  s.rows_gathered = 0;
  std::memset(s.sums, 0, sizeof(std::uint64_t) * 3 * static_cast<std::size_t>(s.width));
}

// Writes the gathered output row, each pixel the rounded mean of its sums.
std::int32_t FinishGathering(RowScaling& s) {
  const std::int32_t oy = s.gathering;
  std::uint8_t* to = OutputRow(s, oy);
  for (std::int32_t x = 0; x < s.width; ++x) {
    const std::uint64_t count =
        std::uint64_t{static_cast<std::uint32_t>(s.rows_gathered)} *
        (s.column_start[x + 1] - s.column_start[x]);
    std::uint32_t mean[3];
    for (int c = 0; c < 3; ++c)
      mean[c] = static_cast<std::uint32_t>((s.sums[3 * x + c] + count / 2) / count);
    PutPixel(s, to + 3 * x, mean);
  }
  s.gathering = -1;
  return oy;
}

}  // namespace

std::size_t ScalingMemoryBytes(std::int32_t width) {
  const auto w = static_cast<std::size_t>(width);
  return sizeof(std::uint64_t) * 3 * w + sizeof(std::uint32_t) * (w + 1);
}

void StartRowScaling(RowScaling& s, void* memory, std::int32_t source_width,
                     std::int32_t source_height, std::int32_t width, std::int32_t height,
                     std::uint8_t* out, std::ptrdiff_t out_stride, bool swap_red_blue) {
  s.source_width = source_width;
  s.source_height = source_height;
  s.width = width;
  s.height = height;
  s.out = out;
  s.out_stride = out_stride;
  s.swap_red_blue = swap_red_blue;
  s.sums = static_cast<std::uint64_t*>(memory);
  s.column_start = reinterpret_cast<std::uint32_t*>(s.sums + 3 * static_cast<std::size_t>(width));
  for (std::int32_t x = 0; x <= width; ++x)
    s.column_start[x] = static_cast<std::uint32_t>(std::int64_t{x} * source_width / width);
  s.gathering = -1;
  s.rows_gathered = 0;
}

std::int32_t AddSourceRow(RowScaling& s, std::int32_t y, const std::uint8_t* row) {
  if (s.width == s.source_width && s.height == s.source_height) {
    // Full size: each output pixel is its source pixel.
    std::uint8_t* to = OutputRow(s, y);
    if (!s.swap_red_blue) {
      std::memcpy(to, row, 3 * static_cast<std::size_t>(s.width));
      return y;
    }
    for (std::int32_t x = 0; x < s.width; ++x) {
      to[3 * x] = row[3 * x + 2];
      to[3 * x + 1] = row[3 * x + 1];
      to[3 * x + 2] = row[3 * x];
    }
    return y;
  }
  const std::int32_t oy = OutputRowOf(s, y);
  if (s.gathering != oy) StartGathering(s, oy);
  std::uint64_t* sum = s.sums;
  for (std::int32_t x = 0; x < s.width; ++x, sum += 3) {
    std::uint32_t r = 0, g = 0, b = 0;  // at most 32767 pixels of 255: no overflow
    for (std::uint32_t sx = s.column_start[x]; sx < s.column_start[x + 1]; ++sx) {
      r += row[3 * sx];
      g += row[3 * sx + 1];
      b += row[3 * sx + 2];
    }
    sum[0] += r;
    sum[1] += g;
    sum[2] += b;
  }
  if (++s.rows_gathered < RowsIn(s, oy)) return -1;
  return FinishGathering(s);
}

void AddOneColorRows(RowScaling& s, std::int32_t first, std::int32_t last, std::uint32_t color) {
  const std::int32_t low = first < last ? first : last;
  const std::int32_t high = first < last ? last : first;
  const std::uint32_t rgb[3] = {color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF};
  if (s.width == s.source_width && s.height == s.source_height) {
    // Full size: one row of the colour, copied to the others.
    std::uint8_t* first_row = OutputRow(s, low);
    for (std::int32_t x = 0; x < s.width; ++x) PutPixel(s, first_row + 3 * x, rgb);
    for (std::int32_t y = low + 1; y <= high; ++y)
      std::memcpy(OutputRow(s, y), first_row, 3 * static_cast<std::size_t>(s.width));
    return;
  }
  for (std::int32_t oy = OutputRowOf(s, low); oy <= OutputRowOf(s, high); ++oy) {
    const std::int32_t from = RowStart(s, oy) > low ? RowStart(s, oy) : low;
    const std::int32_t to = RowStart(s, oy + 1) - 1 < high ? RowStart(s, oy + 1) - 1 : high;
    const std::int32_t rows = to - from + 1;
    if (s.gathering != oy && rows == RowsIn(s, oy)) {
      // Wholly of this colour: its mean is the colour.
      for (std::int32_t x = 0; x < s.width; ++x) PutPixel(s, OutputRow(s, oy) + 3 * x, rgb);
      continue;
    }
    if (s.gathering != oy) StartGathering(s, oy);
    for (std::int32_t x = 0; x < s.width; ++x) {
      const std::uint64_t pixels =
          std::uint64_t{static_cast<std::uint32_t>(rows)} *
          (s.column_start[x + 1] - s.column_start[x]);
      for (int c = 0; c < 3; ++c) s.sums[3 * x + c] += pixels * rgb[c];
    }
    s.rows_gathered += rows;
    if (s.rows_gathered == RowsIn(s, oy)) FinishGathering(s);
  }
}
