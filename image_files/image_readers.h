// This file contains what the picture file readers share: the size limit
// every reader checks before it takes memory for pixels, and the steps from
// decoded samples to an Image.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image_files/image_files.h"

// The largest picture read: GCmpSH0 holds at most 32767 pixels a side, and a
// picture's size must be checked before memory is taken for its pixels, since
// a few bytes of header can claim gigabytes.
inline constexpr std::int64_t kLargestSide = 32767;
inline constexpr std::int64_t kLargestPixelCount = std::int64_t{1} << 27;  // 384 MiB of pixels

bool SizeAllowed(std::int64_t width, std::int64_t height);

// 16-bit samples to 8 bits, rounded: v / 257 to the nearest, as PNM's are.
void RoundTo8Bits(const std::uint16_t* samples, std::size_t count, std::uint8_t* out);

// Lays 4-byte RGBA pixels onto the background: GCmpSH0 has no alpha.
void Composite(const std::uint8_t* rgba, std::int32_t width, std::int32_t height,
               const Background& background, Image* image);

// BMP of every kind but RLE (and PNG where libspng is absent) through
// stb_image; `kind` names the format in messages.
bool DecodeWithStb(const std::vector<std::uint8_t>& bytes, const char* kind,
                   const Background& background, Image* image, std::string* error);
// BMP: RLE8 and RLE4 here, every other kind through stb_image.
bool DecodeBmp(const std::vector<std::uint8_t>& bytes, const Background& background, Image* image,
               std::string* error);
bool DecodePnm(const std::vector<std::uint8_t>& bytes, Image* image, std::string* error);
