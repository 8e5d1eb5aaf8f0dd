// This file contains the reading of BMP files of every kind but RLE (1 to 32
// bits, BITFIELDS, V4 and V5 headers) through stb_image, which also reads PNG
// in the builds without libspng; RLE8 and RLE4 are read by bmp_rle.cpp.
#include <cstring>

#include "image_files/bmp_rle.h"
#include "image_files/image_readers.h"
#include "support/byte_order.h"

// stb_image for BMP (and PNG without libspng), held to GCmpSH0's largest side.
#define STBI_ONLY_BMP
#ifndef HAVE_SPNG
#define STBI_ONLY_PNG
#endif
#define STBI_NO_STDIO
#define STBI_MAX_DIMENSIONS 32767
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

namespace {

// True when a BMP file holds every row its header promises: the pixel data
// begin at the offset in bytes 10-13 and take a 4-byte aligned row of
// width x bits per pixel for each of the `height` rows. The kinds stb_image
// refuses are let through: RLE (1, 2) and those from 4 up. It reads the kind
// as a signed number and takes any other value, a negative one included, for
// rows of pixels, which must then all be there.
bool BmpRowsPresent(const std::vector<std::uint8_t>& b, int width, int height) {
  if (b.size() < 30) return false;
  const std::uint32_t header = LoadLe32(&b[14]);
  const std::uint32_t bits = LoadLe16(&b[header == 12 ? 24 : 28]);
  const std::uint32_t compression = header == 12 || b.size() < 34 ? 0 : LoadLe32(&b[30]);
  const auto kind = static_cast<std::int32_t>(compression);
  if (kind == 1 || kind == 2 || kind >= 4) return true;
  const std::uint64_t row = (std::uint64_t{static_cast<std::uint32_t>(width)} * bits + 31) / 32 * 4;
  return std::uint64_t{LoadLe32(&b[10])} + row * static_cast<std::uint32_t>(height) <= b.size();
}

}  // namespace

// BMP (and PNG in the Windows build) through stb_image: the size is checked
// from the header before any pixel memory is taken.
bool DecodeWithStb(const std::vector<std::uint8_t>& b, const char* kind,
                   const Background& background, Image* image, std::string* error) {
  if (b.size() > INT32_MAX) return *error = std::string(kind) + " file too large", false;
  const auto size = static_cast<int>(b.size());
  int width = 0, height = 0, channels = 0;
  // A size beyond stb_image's limit makes it refuse the file as unknown:
  // read the PNG header's size first, to name the real reason.
  if (std::strcmp(kind, "PNG") == 0 && b.size() >= 24) {
    const auto be32 = [&](std::size_t at) { return std::int64_t{LoadBe32(&b[at])}; };
    if (!SizeAllowed(be32(16), be32(20)))
      return *error = "PNG size out of range (" + std::to_string(be32(16)) + "x" +
                      std::to_string(be32(20)) + ")",
             false;
  }
  if (!stbi_info_from_memory(b.data(), size, &width, &height, &channels))
    return *error = std::string("bad ") + kind + " file: " + stbi_failure_reason(), false;
  if (!SizeAllowed(width, height))
    return *error = std::string(kind) + " size out of range (" + std::to_string(width) + "x" +
                    std::to_string(height) + ")",
           false;
  // stb_image reads zeros past the end of the data: a few bytes of BMP header
  // could make it fill a picture of 100 million pixels. Uncompressed rows
  // must all be there.
  if (std::strcmp(kind, "BMP") == 0 && !BmpRowsPresent(b, width, height))
    return *error = "truncated BMP pixel data", false;
  const std::size_t samples = 4 * static_cast<std::size_t>(width) * height;
  if (stbi_is_16_bit_from_memory(b.data(), size)) {
    // stb_image would drop the low byte of each sample: rounded here instead.
    stbi_us* wide = stbi_load_16_from_memory(b.data(), size, &width, &height, &channels, 4);
    if (wide == nullptr)
      return *error = std::string("bad ") + kind + " file: " + stbi_failure_reason(), false;
    std::vector<std::uint8_t> rgba(samples);
    RoundTo8Bits(wide, samples, rgba.data());
    stbi_image_free(wide);
    Composite(rgba.data(), width, height, background, image);
    return true;
  }
  stbi_uc* rgba = stbi_load_from_memory(b.data(), size, &width, &height, &channels, 4);
  if (rgba == nullptr)
    return *error = std::string("bad ") + kind + " file: " + stbi_failure_reason(), false;
  Composite(rgba, width, height, background, image);
  stbi_image_free(rgba);
  return true;
}

bool DecodeBmp(const std::vector<std::uint8_t>& bytes, const Background& background, Image* image,
               std::string* error) {
  if (IsRleBmp(bytes)) return DecodeRleBmp(bytes, kLargestSide, kLargestPixelCount, image, error);
  return DecodeWithStb(bytes, "BMP", background, image, error);
}
