// This file contains the GCmpSH0 writer: it turns a 24-bit picture into a
// GCmpSH0 file that the picture plug-in decodes back to the same pixels.
// It is the project's own tool for tests, benchmarks, fuzz seeds and the
// command-line encoder; the plug-ins do not use it.
#pragma once

#include <cstdint>
#include <vector>

// Encodes `pixels` (width * height pixels of 3 bytes, blue, green, red, rows
// in stream order and unpadded: the first row is the bottom row of the DIB)
// into `out`. Every token form is used where it is the shortest: short and
// long literal runs, literal lists, short and long table references, with
// the colour table kept exactly as the decoder keeps it. False, with `out`
// untouched, when the size is outside what the header can hold (width 1 to
// 32767, height 9 to 32767).
// `progress`, when given, is called now and then with the pixels coded so
// far and the picture's pixels; a nonzero result stops the encoding (false).
using EncodeProgress = int (*)(void* context, std::uint64_t done, std::uint64_t total);
bool EncodeGcmpPicture(const std::uint8_t* pixels, std::int32_t width, std::int32_t height,
                       std::vector<std::uint8_t>* out, EncodeProgress progress = nullptr,
                       void* context = nullptr);
