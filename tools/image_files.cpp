// This file contains the picture file formats of the tools. PNG is read by
// libspng natively and by stb_image in the other builds (whose cross
// compilers have no libspng); BMP of every common kind is read by stb_image
// in all; PNM (P2, P3, P5, P6, 8 or 16 bits) is read here, being a few lines
// of text. PNG and BMP are written by picture_writing.cpp.
#include "tools/image_files.h"

#include <cstdlib>
#include <cstring>
#include <fstream>

#include "tools/bmp_rle.h"
#include "tools/file_names.h"
#include "tools/output_files.h"
#include "tools/picture_writing.h"

#ifdef HAVE_SPNG
#include <spng.h>
#endif

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

// The largest picture read: GCmpSH0 holds at most 32767 pixels a side, and a
// picture's size must be checked before memory is taken for its pixels, since
// a few bytes of header can claim gigabytes.
constexpr std::int64_t kLargestSide = 32767;
constexpr std::int64_t kLargestPixelCount = std::int64_t{1} << 27;  // 384 MiB of pixels

bool SizeAllowed(std::int64_t width, std::int64_t height) {
  return width > 0 && height > 0 && width <= kLargestSide && height <= kLargestSide &&
         width * height <= kLargestPixelCount;
}

// 16-bit samples to 8 bits, rounded: v / 257 to the nearest, as PNM's are.
void RoundTo8Bits(const std::uint16_t* samples, std::size_t count, std::uint8_t* out) {
  for (std::size_t i = 0; i < count; ++i)
    out[i] = static_cast<std::uint8_t>((std::uint32_t{samples[i]} * 255 + 32767) / 65535);
}

// Lays 4-byte RGBA pixels onto the background: GCmpSH0 has no alpha.
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

// True when a BMP file holds every row its header promises: the pixel data
// begin at the offset in bytes 10-13 and take a 4-byte aligned row of
// width x bits per pixel for each of the `height` rows. The kinds stb_image
// refuses are let through: RLE (1, 2) and those from 4 up. It reads the kind
// as a signed number and takes any other value, a negative one included, for
// rows of pixels, which must then all be there.
bool BmpRowsPresent(const std::vector<std::uint8_t>& b, int width, int height) {
  if (b.size() < 30) return false;
  const auto le = [&](std::size_t at, int bytes) {
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= std::uint32_t{b[at + i]} << (8 * i);
    return value;
  };
  const std::uint32_t header = le(14, 4);
  const std::uint32_t bits = header == 12 ? le(24, 2) : le(28, 2);
  const std::uint32_t compression = header == 12 || b.size() < 34 ? 0 : le(30, 4);
  const auto kind = static_cast<std::int32_t>(compression);
  if (kind == 1 || kind == 2 || kind >= 4) return true;
  const std::uint64_t row = (std::uint64_t{static_cast<std::uint32_t>(width)} * bits + 31) / 32 * 4;
  return std::uint64_t{le(10, 4)} + row * static_cast<std::uint32_t>(height) <= b.size();
}

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
    const auto be32 = [&](std::size_t at) {
      return std::int64_t{b[at]} << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
    };
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

// PNM: "P2" (grey) or "P3" (colour) in decimal text, "P5" or "P6" in binary;
// width, height and the largest value (1 to 65535; above 255 each binary
// sample is 2 bytes, most significant first), separated by white space and
// comments, then the samples. Values are scaled to 0-255.
bool DecodePnm(const std::vector<std::uint8_t>& b, Image* image, std::string* error) {
  const char kind = static_cast<char>(b[1]);
  const bool text = kind == '2' || kind == '3';
  const int channels = kind == '3' || kind == '6' ? 3 : 1;
  std::size_t at = 2;
  // The next decimal number, after white space and comments; -1 if none.
  auto number = [&]() -> long {
    for (;;) {
      while (at < b.size() && (b[at] == ' ' || (b[at] >= '\t' && b[at] <= '\r'))) ++at;
      if (at < b.size() && b[at] == '#') {
        while (at < b.size() && b[at] != '\n') ++at;
        continue;
      }
      break;
    }
    if (at >= b.size() || b[at] < '0' || b[at] > '9') return -1;
    long value = 0;
    while (at < b.size() && b[at] >= '0' && b[at] <= '9') {
      value = value * 10 + (b[at++] - '0');
      if (value > 1000000) return -1;
    }
    return value;
  };
  const long width = number(), height = number(), largest = number();
  if (width < 0 || height < 0 || largest < 1 || largest > 65535)
    return *error = "bad PNM header", false;
  if (!SizeAllowed(width, height)) return *error = "PNM size out of range", false;
  const std::size_t samples = static_cast<std::size_t>(width) * height * channels;
  const std::size_t bytes_per_sample = largest > 255 ? 2 : 1;
  ++at;  // the single white-space byte before binary samples
  if (!text && (at > b.size() || (b.size() - at) / bytes_per_sample < samples))
    return *error = "truncated PNM pixel data", false;
  image->width = static_cast<std::int32_t>(width);
  image->height = static_cast<std::int32_t>(height);
  image->rgb.resize(3 * static_cast<std::size_t>(width) * height);
  if (text) --at;
  for (std::size_t i = 0; i < samples; ++i) {
    long value;
    if (text) {
      value = number();
      if (value < 0 || value > largest) return *error = "bad or truncated PNM samples", false;
    } else {
      value = bytes_per_sample == 2 ? (b[at] << 8 | b[at + 1]) : b[at];
      at += bytes_per_sample;
      if (value > largest) value = largest;
    }
    const auto level = static_cast<std::uint8_t>((value * 255 + largest / 2) / largest);
    if (channels == 3) {
      image->rgb[i] = level;
    } else {
      image->rgb[3 * i] = image->rgb[3 * i + 1] = image->rgb[3 * i + 2] = level;
    }
  }
  return true;
}

}  // namespace

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
  if (IsRleBmp(bytes)) return DecodeRleBmp(bytes, kLargestSide, kLargestPixelCount, image, error);
  if (IsBmp(bytes)) return DecodeWithStb(bytes, "BMP", background, image, error);
  if (IsPnm(bytes)) return DecodePnm(bytes, image, error);
  *error = "not a PNG, BMP or PNM file";
  return false;
}

#ifdef HAVE_SPNG
bool DecodePng(const std::uint8_t* data, std::size_t size, Image* image, std::string* error,
               const Background& background) {
  spng_ctx* ctx = spng_ctx_new(0);
  spng_set_png_buffer(ctx, data, size);
  spng_ihdr ihdr{};
  std::size_t out_size = 0;
  int status = spng_get_ihdr(ctx, &ihdr);
  if (status == 0 && !SizeAllowed(ihdr.width, ihdr.height)) {
    spng_ctx_free(ctx);
    *error = "PNG size out of range (" + std::to_string(ihdr.width) + "x" +
             std::to_string(ihdr.height) + ")";
    return false;
  }
  // Every kind of PNG (grey, palette, 16 bits, transparency) as RGBA, 8 bits;
  // 16-bit samples decoded whole and rounded here (libspng would drop their
  // low byte).
  const bool wide = ihdr.bit_depth == 16;
  const int format = wide ? SPNG_FMT_RGBA16 : SPNG_FMT_RGBA8;
  if (status == 0) status = spng_decoded_image_size(ctx, format, &out_size);
  std::vector<std::uint8_t> rgba;
  std::vector<std::uint16_t> samples;
  if (status == 0 && wide) {
    samples.resize(out_size / 2);
    status = spng_decode_image(ctx, samples.data(), out_size, format, SPNG_DECODE_TRNS);
    rgba.resize(samples.size());
    if (status == 0) RoundTo8Bits(samples.data(), samples.size(), rgba.data());
  } else if (status == 0) {
    rgba.resize(out_size);
    status = spng_decode_image(ctx, rgba.data(), out_size, format, SPNG_DECODE_TRNS);
  }
  spng_ctx_free(ctx);
  if (status != 0) return *error = std::string("bad PNG file: ") + spng_strerror(status), false;
  Composite(rgba.data(), static_cast<std::int32_t>(ihdr.width),
            static_cast<std::int32_t>(ihdr.height), background, image);
  return true;
}
#else
bool DecodePng(const std::uint8_t* data, std::size_t size, Image* image, std::string* error,
               const Background& background) {
  return DecodeWithStb(std::vector<std::uint8_t>(data, data + size), "PNG", background, image,
                       error);
}
#endif

bool PngSupported() { return true; }

PixelRows RowsOf(const Image& image) {
  return PixelRows{image.width, image.height, image.rgb.data(),
                   3 * static_cast<std::ptrdiff_t>(image.width), false};
}

bool EncodePng(const Image& image, std::vector<std::uint8_t>* png, std::string* error,
               const std::atomic<bool>* interrupted,
               std::int32_t(SPI_CALL* progress)(std::int32_t, std::int32_t, HostInt),
               HostInt user_data) {
  png->clear();
  return WritePng(RowsOf(image), VectorSink(png), error, interrupted, progress, user_data);
}

std::vector<std::uint8_t> EncodeBmp(const Image& image) {
  std::vector<std::uint8_t> bmp;
  std::string ignored;  // a vector takes every byte
  WriteBmp(RowsOf(image), VectorSink(&bmp), &ignored);
  return bmp;
}

std::vector<std::uint8_t> StreamPixels(const Image& image) {
  const std::size_t row = 3 * static_cast<std::size_t>(image.width);
  std::vector<std::uint8_t> out(row * image.height);
  for (std::int32_t y = 0; y < image.height; ++y) {
    const std::uint8_t* src = &image.rgb[row * (image.height - 1 - y)];
    std::uint8_t* dst = &out[row * y];
    for (std::size_t x = 0; x < row; x += 3) {
      dst[x] = src[x + 2];
      dst[x + 1] = src[x + 1];
      dst[x + 2] = src[x];
    }
  }
  return out;
}
