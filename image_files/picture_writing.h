// This file contains the writing of pictures as PNG and BMP files, row by
// row, from wherever the rows lie (a DIB a plug-in handed over, a picture
// decoded by the tools), straight to the output: no second copy of the
// picture is made, and the file is never held whole in memory. The same code
// in every build gives the same bytes in every build.
//
// PNG: 8-bit RGB, non-interlaced, each row filtered with the filter whose
// output has the smallest sum of absolute values (as common encoders choose),
// compressed with zlib, in IDAT chunks of at most 256 KiB.
// BMP: a BITMAPFILEHEADER, a 40-byte BITMAPINFOHEADER, 24-bit rows from the
// bottom up, each padded to a multiple of 4 bytes.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "support/host_contract.h"

// The rows of a picture in memory: `width` x `height` pixels of 3 bytes.
struct PixelRows {
  std::int32_t width = 0;
  std::int32_t height = 0;
  const std::uint8_t* top = nullptr;  // the top row
  std::ptrdiff_t stride = 0;          // from one row to the next row down
  bool bgr = false;                   // blue first (as in a DIB), else red first
};

// The rows of a 24-bit DIB with a positive height: padded rows, bottom row
// first, blue first.
PixelRows DibRows(std::int32_t width, std::int32_t height, const std::uint8_t* bits);
// The bytes of a 24-bit DIB's pixel block (rows padded to 4 bytes).
std::size_t DibBytes(std::int32_t width, std::int32_t height);

// Where written bytes go: false (with *error set) when they cannot be written.
struct ByteSink {
  bool (*write)(void* context, const void* data, std::size_t size, std::string* error);
  void* context;
};
// A sink that appends to a vector.
ByteSink VectorSink(std::vector<std::uint8_t>* bytes);

// Called with (rows done, rows), as a plug-in's progress callback is (its
// result is not used).
using RowProgress = std::int32_t(SPI_CALL*)(std::int32_t, std::int32_t, HostInt);

// Writes the picture as a PNG file, row by row. False with a one-line reason:
// the sink failed, memory ran out ("out of memory"), or *interrupted was set
// ("cancelled").
bool WritePng(const PixelRows& rows, const ByteSink& sink, std::string* error,
              const std::atomic<bool>* interrupted = nullptr, RowProgress progress = nullptr,
              HostInt user_data = 0);

// Writes the picture as a 24-bit BMP file.
bool WriteBmp(const PixelRows& rows, const ByteSink& sink, std::string* error);
