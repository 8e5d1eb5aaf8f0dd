// This file contains the steps between an Image (rows top down, red first)
// and the other orders pixels come in: GCmpSH0 streams and the writers' rows.
#include "image_files/image_files.h"

ByteSink VectorSink(std::vector<std::uint8_t>* bytes) {
  return ByteSink{[](void* context, const void* data, std::size_t size, std::string*) {
                    auto* out = static_cast<std::vector<std::uint8_t>*>(context);
                    const auto* from = static_cast<const std::uint8_t*>(data);
                    out->insert(out->end(), from, from + size);
                    return true;
                  },
                  bytes};
}

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
