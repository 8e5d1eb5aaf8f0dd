// This file contains the picture file formats of the tools.
#include "tools/image_files.h"

#include <cstring>
#include <fstream>

#include "tools/file_names.h"
#include "tools/output_files.h"

#ifdef HAVE_SPNG
#include <spng.h>
#endif

namespace {

std::uint32_t Le32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t{p[3]} << 24);
}

void PutLe(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// The largest picture read: GCmpSH0 holds at most 32767 pixels a side, and a
// picture's size must be checked before memory is taken for its pixels, since
// a few bytes of header can claim gigabytes.
constexpr std::int64_t kLargestSide = 32767;
constexpr std::int64_t kLargestPixelCount = std::int64_t{1} << 27;  // 384 MiB of pixels

bool SizeAllowed(std::int64_t width, std::int64_t height) {
  return width > 0 && height > 0 && width <= kLargestSide && height <= kLargestSide &&
         width * height <= kLargestPixelCount;
}

std::size_t Stride(std::int32_t width) { return (3 * static_cast<std::size_t>(width) + 3) / 4 * 4; }

bool DecodeBmp(const std::vector<std::uint8_t>& b, Image* image, std::string* error) {
  if (b.size() < 54) return *error = "truncated BMP header", false;
  const std::uint32_t offset = Le32(&b[10]);
  const auto width = static_cast<std::int32_t>(Le32(&b[18]));
  const auto height = static_cast<std::int32_t>(Le32(&b[22]));
  const int bits = b[28] | (b[29] << 8);
  const std::uint32_t compression = Le32(&b[30]);
  if ((bits != 24 && bits != 32) || compression != 0)
    return *error = "only uncompressed 24- and 32-bit BMP files are read", false;
  const std::int64_t rows = height < 0 ? -std::int64_t{height} : height;
  if (!SizeAllowed(width, rows)) return *error = "BMP size out of range", false;
  const std::size_t stride = (static_cast<std::size_t>(width) * (bits / 8) + 3) / 4 * 4;
  if (offset > b.size() || (b.size() - offset) / stride < static_cast<std::size_t>(rows))
    return *error = "truncated BMP pixel data", false;
  image->width = width;
  image->height = static_cast<std::int32_t>(rows);
  image->rgb.resize(3 * static_cast<std::size_t>(width) * rows);
  for (std::int64_t y = 0; y < rows; ++y) {
    const std::int64_t stored = height < 0 ? y : rows - 1 - y;
    const std::uint8_t* src = &b[offset + stored * stride];
    std::uint8_t* dst = &image->rgb[3 * static_cast<std::size_t>(width) * y];
    for (std::int32_t x = 0; x < width; ++x, src += bits / 8, dst += 3) {
      dst[0] = src[2];
      dst[1] = src[1];
      dst[2] = src[0];
    }
  }
  return true;
}

bool DecodePpm(const std::vector<std::uint8_t>& b, Image* image, std::string* error) {
  std::size_t at = 2;
  long fields[3] = {};
  for (long& field : fields) {
    for (;;) {
      while (at < b.size() && std::strchr(" \t\r\n", b[at]) && b[at] != 0) ++at;
      if (at < b.size() && b[at] == '#') {
        while (at < b.size() && b[at] != '\n') ++at;
        continue;
      }
      break;
    }
    if (at >= b.size() || b[at] < '0' || b[at] > '9') return *error = "bad PPM header", false;
    while (at < b.size() && b[at] >= '0' && b[at] <= '9' && field < 1000000)
      field = field * 10 + (b[at++] - '0');
  }
  ++at;  // the single white-space byte before the pixels
  if (fields[2] != 255) return *error = "only 8-bit PPM files are read", false;
  if (!SizeAllowed(fields[0], fields[1])) return *error = "PPM size out of range", false;
  const std::size_t size = 3 * static_cast<std::size_t>(fields[0]) * fields[1];
  if (at > b.size() || b.size() - at < size) return *error = "truncated PPM pixel data", false;
  image->width = static_cast<std::int32_t>(fields[0]);
  image->height = static_cast<std::int32_t>(fields[1]);
  image->rgb.assign(b.begin() + static_cast<std::ptrdiff_t>(at),
                    b.begin() + static_cast<std::ptrdiff_t>(at + size));
  return true;
}

}  // namespace

bool ReadImageFile(const std::string& path, Image* image, std::string* error,
                   const std::atomic<bool>* interrupted) {
  // The head first: a file that is no picture is refused before more of it
  // is read, however large it is (or endless, as a device may be).
  constexpr std::size_t kHead = 64 << 10;
  std::vector<std::uint8_t> bytes;
  if (!ReadInputFile(path, &bytes, error, kHead, interrupted)) return false;
  if (!LooksLikeImage(bytes)) return *error = "not a PNG, BMP or PPM file", false;
  if (bytes.size() == kHead) {
    if (!ReadInputFile(path, &bytes, error, kLargestImageFile + 1, interrupted)) return false;
    if (bytes.size() > kLargestImageFile)
      return *error = "larger than any picture a GCmpSH0 file can hold", false;
  }
  return DecodeImage(bytes, image, error);
}

bool LooksLikeImage(const std::vector<std::uint8_t>& bytes) {
  return (bytes.size() >= 8 && std::memcmp(bytes.data(), "\x89PNG\r\n\x1a\n", 8) == 0) ||
         (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') ||
         (bytes.size() >= 2 && bytes[0] == 'P' && bytes[1] == '6');
}

bool DecodeImage(const std::vector<std::uint8_t>& bytes, Image* image, std::string* error) {
  if (bytes.size() >= 8 && std::memcmp(bytes.data(), "\x89PNG\r\n\x1a\n", 8) == 0)
    return DecodePng(bytes.data(), bytes.size(), image, error);
  if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M')
    return DecodeBmp(bytes, image, error);
  if (bytes.size() >= 2 && bytes[0] == 'P' && bytes[1] == '6')
    return DecodePpm(bytes, image, error);
  *error = "not a PNG, BMP or PPM file";
  return false;
}

#ifdef HAVE_SPNG
bool PngSupported() { return true; }

bool EncodePng(const Image& image, std::vector<std::uint8_t>* png, std::string* error,
               const std::atomic<bool>* interrupted) {
  spng_ctx* ctx = spng_ctx_new(SPNG_CTX_ENCODER);
  spng_set_option(ctx, SPNG_ENCODE_TO_BUFFER, 1);
  spng_ihdr ihdr{};
  ihdr.width = static_cast<std::uint32_t>(image.width);
  ihdr.height = static_cast<std::uint32_t>(image.height);
  ihdr.bit_depth = 8;
  ihdr.color_type = SPNG_COLOR_TYPE_TRUECOLOR;
  spng_set_ihdr(ctx, &ihdr);
  // Row by row, so that a request to stop is seen between rows.
  int status = spng_encode_image(ctx, nullptr, 0, SPNG_FMT_PNG,
                                 SPNG_ENCODE_PROGRESSIVE | SPNG_ENCODE_FINALIZE);
  const std::size_t row = 3 * static_cast<std::size_t>(image.width);
  bool stopped = false;
  for (std::int32_t y = 0; status == 0 && y < image.height; ++y) {
    if (interrupted != nullptr && interrupted->load()) {
      stopped = true;
      break;
    }
    status = spng_encode_row(ctx, image.rgb.data() + row * static_cast<std::size_t>(y), row);
  }
  if (status == SPNG_EOI) status = 0;  // the last row ends the image
  std::size_t size = 0;
  void* buffer = status == 0 && !stopped ? spng_get_png_buffer(ctx, &size, &status) : nullptr;
  if (buffer != nullptr) {
    png->assign(static_cast<std::uint8_t*>(buffer), static_cast<std::uint8_t*>(buffer) + size);
    std::free(buffer);
  }
  spng_ctx_free(ctx);
  if (stopped) return *error = "cancelled", false;
  if (status != 0) *error = std::string("PNG encoding failed: ") + spng_strerror(status);
  return status == 0;
}

bool DecodePng(const std::uint8_t* data, std::size_t size, Image* image, std::string* error) {
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
  if (status == 0) status = spng_decoded_image_size(ctx, SPNG_FMT_RGB8, &out_size);
  if (status == 0) {
    image->width = static_cast<std::int32_t>(ihdr.width);
    image->height = static_cast<std::int32_t>(ihdr.height);
    image->rgb.resize(out_size);
    status = spng_decode_image(ctx, image->rgb.data(), out_size, SPNG_FMT_RGB8, SPNG_DECODE_TRNS);
  }
  spng_ctx_free(ctx);
  if (status != 0) *error = std::string("bad PNG file: ") + spng_strerror(status);
  return status == 0;
}
#else
bool PngSupported() { return false; }

bool EncodePng(const Image&, std::vector<std::uint8_t>*, std::string* error,
               const std::atomic<bool>*) {
  *error = "PNG is not supported in this build; write BMP instead";
  return false;
}

bool DecodePng(const std::uint8_t*, std::size_t, Image*, std::string* error) {
  *error = "PNG is not supported in this build; use BMP or PPM";
  return false;
}
#endif

std::vector<std::uint8_t> EncodeBmp(const Image& image) {
  const std::size_t stride = Stride(image.width);
  const auto pixel_bytes = static_cast<std::uint32_t>(stride * image.height);
  std::vector<std::uint8_t> out = {'B', 'M'};
  PutLe(out, 54 + pixel_bytes, 4);
  PutLe(out, 0, 4);
  PutLe(out, 54, 4);
  PutLe(out, 40, 4);
  PutLe(out, static_cast<std::uint32_t>(image.width), 4);
  PutLe(out, static_cast<std::uint32_t>(image.height), 4);
  PutLe(out, 1, 2);
  PutLe(out, 24, 2);
  for (int i = 0; i < 6; ++i) PutLe(out, 0, 4);
  const std::vector<std::uint8_t> stream = StreamPixels(image);
  const std::size_t row = 3 * static_cast<std::size_t>(image.width);
  for (std::int32_t y = 0; y < image.height; ++y) {
    out.insert(out.end(), stream.begin() + static_cast<std::ptrdiff_t>(y * row),
               stream.begin() + static_cast<std::ptrdiff_t>((y + 1) * row));
    out.resize(out.size() + stride - row, 0);
  }
  return out;
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

Image ImageFromDib(std::int32_t width, std::int32_t height, const std::uint8_t* bits) {
  Image image;
  image.width = width;
  image.height = height;
  const std::size_t row = 3 * static_cast<std::size_t>(width);
  const std::size_t stride = Stride(width);
  image.rgb.resize(row * height);
  for (std::int32_t y = 0; y < height; ++y) {
    const std::uint8_t* src = bits + stride * (height - 1 - y);
    std::uint8_t* dst = &image.rgb[row * y];
    for (std::size_t x = 0; x < row; x += 3) {
      dst[x] = src[x + 2];
      dst[x + 1] = src[x + 1];
      dst[x + 2] = src[x];
    }
  }
  return image;
}
