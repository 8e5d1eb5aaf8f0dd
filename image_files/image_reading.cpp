// This file contains the reading of picture files: the kind chosen by the
// file's first bytes, the file read in pieces with its head first, and the
// steps every reader shares. PNG is read by png_reading.cpp, BMP by
// bmp_reading.cpp and bmp_rle.cpp, PNM by pnm_reading.cpp.
#include <cstring>

#include "file_names/output_files.h"
#include "image_files/bmp_rle.h"
#include "image_files/image_readers.h"

bool SizeAllowed(std::int64_t width, std::int64_t height) {
  return width > 0 && height > 0 && width <= kLargestSide && height <= kLargestSide &&
         width * height <= kLargestPixelCount;
}

void RoundTo8Bits(const std::uint16_t* samples, std::size_t count, std::uint8_t* out) {
  for (std::size_t i = 0; i < count; ++i)
    out[i] = static_cast<std::uint8_t>((std::uint32_t{samples[i]} * 255 + 32767) / 65535);
}

void Composite(const std::uint8_t* rgba, std::int32_t width, std::int32_t height,
               const Background& background, Image* image) {
  image->width = width;
  image->height = height;
  image->rgb.resize(3 * static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  const std::uint8_t under[3] = {background.red, background.green, background.blue};
  for (std::size_t i = 0, n = image->rgb.size() / 3; i < n; ++i) {
    const unsigned alpha = rgba[4 * i + 3];
    for (int c = 0; c < 3; ++c)
      image->rgb[3 * i + c] = static_cast<std::uint8_t>(
          (rgba[4 * i + c] * alpha + under[c] * (255 - alpha) + 127) / 255);
  }
}

bool ReadImageFile(const std::string& path, Image* image, std::string* error,
                   const std::atomic<bool>* interrupted, const Background& background) {
  // The head first: a file that is no picture is refused before more of it
  // is read, however large it is (or endless, as a device may be).
  constexpr std::size_t kHead = 64 << 10;
  std::vector<std::uint8_t> bytes;
  if (!ReadInputFile(path, &bytes, error, kHead, interrupted)) return false;
  if (!LooksLikeImage(bytes)) return *error = "not a PNG, BMP or PNM file", false;
  if (bytes.size() == kHead) {
    if (path == "-") {
      // Standard input goes on where the head ended.
      std::vector<std::uint8_t> rest;
      if (!ReadInputFile(path, &rest, error, kLargestImageFile + 1 - kHead, interrupted))
        return false;
      bytes.insert(bytes.end(), rest.begin(), rest.end());
    } else if (!ReadInputFile(path, &bytes, error, kLargestImageFile + 1, interrupted)) {
      return false;
    }
    if (bytes.size() > kLargestImageFile)
      return *error = "larger than any picture a GCmpSH0 file can hold", false;
  }
  return DecodeImage(bytes, image, error, background);
}

namespace {

bool IsPng(const std::vector<std::uint8_t>& b) {
  return b.size() >= 8 && std::memcmp(b.data(), "\x89PNG\r\n\x1a\n", 8) == 0;
}
bool IsBmp(const std::vector<std::uint8_t>& b) {
  return b.size() >= 2 && b[0] == 'B' && b[1] == 'M';
}
bool IsPnm(const std::vector<std::uint8_t>& b) {
  return b.size() >= 2 && b[0] == 'P' && b[1] >= '2' && b[1] <= '6' && b[1] != '4';
}

}  // namespace

bool LooksLikeImage(const std::vector<std::uint8_t>& bytes) {
  return IsPng(bytes) || IsBmp(bytes) || IsPnm(bytes);
}

bool DecodeImage(const std::vector<std::uint8_t>& bytes, Image* image, std::string* error,
                 const Background& background) {
  if (IsPng(bytes)) return DecodePng(bytes.data(), bytes.size(), image, error, background);
  if (IsBmp(bytes)) return DecodeBmp(bytes, background, image, error);
  if (IsPnm(bytes)) return DecodePnm(bytes, image, error);
  *error = "not a PNG, BMP or PNM file";
  return false;
}

bool PngSupported() { return true; }
