// This file contains reading and writing of ordinary picture files for the
// tools and benchmarks: PNG (native build only, through libspng), BMP and
// binary PPM; and the conversions between such a picture and the pixel order
// of GCmpSH0 streams and DIBs.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image_files/picture_writing.h"
#include "support/host_contract.h"

// A picture as files hold it: rows top to bottom, 3 bytes a pixel, red first.
struct Image {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<std::uint8_t> rgb;
};

// The colour that transparent pixels are laid onto (GCmpSH0 has no alpha).
struct Background {
  std::uint8_t red = 0, green = 0, blue = 0;
};

// Reads a PNG (every kind), BMP (1 to 32 bits, BITFIELDS, V4 and V5 headers)
// or PNM (P2, P3, P5, P6; 8 or 16 bits) file, chosen by its first bytes. False with a one-line
// reason in *error otherwise, also for a picture over 32767 pixels a side or 2^27 pixels in all,
// refused before any memory is taken for it. The file is read in pieces, its head first, and never
// beyond kLargestImageFile bytes; a set *interrupted stops the reading ("cancelled").
bool ReadImageFile(const std::string& path, Image* image, std::string* error,
                   const std::atomic<bool>* interrupted = nullptr,
                   const Background& background = {});
// True when the bytes begin as a PNG, BMP or PNM file does.
bool LooksLikeImage(const std::vector<std::uint8_t>& bytes);
// The largest picture file read: room for the largest picture accepted
// (2^27 pixels) as uncompressed PNG, BMP or PPM, and its headers.
constexpr std::size_t kLargestImageFile = (std::size_t{3} << 27) + (std::size_t{64} << 20);
bool DecodeImage(const std::vector<std::uint8_t>& bytes, Image* image, std::string* error,
                 const Background& background = {});

// The image's rows, for the writers.
PixelRows RowsOf(const Image& image);

bool PngSupported();
// Encodes row by row; a set *interrupted stops it ("cancelled").
// `progress`, when given, is called with (rows done, rows) as a plug-in's
// progress callback is (its result is not used).
bool EncodePng(const Image& image, std::vector<std::uint8_t>* png, std::string* error,
               const std::atomic<bool>* interrupted = nullptr,
               std::int32_t(SPI_CALL* progress)(std::int32_t, std::int32_t, HostInt) = nullptr,
               HostInt user_data = 0);
bool DecodePng(const std::uint8_t* data, std::size_t size, Image* image, std::string* error,
               const Background& background = {});

// A 24-bit BMP file: file header, BITMAPINFOHEADER, bottom-up padded rows.
std::vector<std::uint8_t> EncodeBmp(const Image& image);

// The pixels in GCmpSH0 stream order: bottom row first, blue, green, red.
std::vector<std::uint8_t> StreamPixels(const Image& image);
