// This file contains the reading of run-length encoded BMP files (RLE8,
// RLE4), described in bmp_rle.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image_files/image_files.h"

// True for a BMP file of 8 bits with RLE8 or 4 bits with RLE4.
bool IsRleBmp(const std::vector<std::uint8_t>& bytes);

// Decodes such a file; false with a one-line reason when its size is beyond
// `largest_side` or `largest_pixels`, checked before any pixel memory is taken.
bool DecodeRleBmp(const std::vector<std::uint8_t>& bytes, std::int64_t largest_side,
                  std::int64_t largest_pixels, Image* image, std::string* error);
