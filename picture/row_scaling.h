// This file contains the scaling of a picture down to a smaller size as its
// rows come, one at a time, so that a thumbnail never needs the whole picture
// in memory: each output pixel is the mean of the source pixels it covers (a
// box filter). Output column x covers source columns x * W / w up to, not
// including, (x + 1) * W / w, and output rows likewise, so every source pixel
// counts in exactly one output pixel.
//
// Rows may come from the top down or from the bottom up (a GCmpSH0 stream
// starts with the bottom row), each once; the rows of one output row then
// arrive together, and that output row is written as soon as its last source
// row has come. Only one output row's sums are held.
//
// The scaler takes no memory of its own: the caller provides
// ScalingMemoryBytes(width) bytes, so that it can be used where an
// allocation failure must be reported rather than thrown (a library loaded
// into a viewer).
#pragma once

#include <cstddef>
#include <cstdint>

struct RowScaling {
  std::int32_t source_width, source_height;  // W and H
  std::int32_t width, height;                // w and h, 1 .. W and 1 .. H
  std::uint8_t* out;          // the output picture's top row, 3 bytes a pixel
  std::ptrdiff_t out_stride;  // bytes from one output row to the next
  bool swap_red_blue;         // write bytes 0 and 2 of each pixel swapped
  std::uint32_t* column_start;  // w + 1 entries
  std::uint64_t* sums;          // 3 * w entries: the output row being gathered
  std::int32_t gathering;       // that output row, or -1 for none
  std::int32_t rows_gathered;   // source rows added to it so far
};

// Bytes of working memory for an output `width` pixels wide.
std::size_t ScalingMemoryBytes(std::int32_t width);

// Starts scaling a source_width x source_height picture to width x height
// (each from 1 up to the source's), writing into `out`. `memory` holds
// ScalingMemoryBytes(width) bytes, aligned for 64-bit words.
void StartRowScaling(RowScaling& s, void* memory, std::int32_t source_width,
                     std::int32_t source_height, std::int32_t width, std::int32_t height,
                     std::uint8_t* out, std::ptrdiff_t out_stride, bool swap_red_blue);

// Adds source row `y` (0 = top), 3 * source_width bytes. Returns the output
// row this completed and wrote, or -1.
std::int32_t AddSourceRow(RowScaling& s, std::int32_t y, const std::uint8_t* row);

// Adds source rows `first` .. `last` (inclusive, either order as the rows
// come), all of one colour (bytes 0-2 of `color`, in source order), without
// a pass over each: the output rows they alone cover are filled at once.
void AddOneColorRows(RowScaling& s, std::int32_t first, std::int32_t last, std::uint32_t color);
