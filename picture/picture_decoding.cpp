// This file contains GetPicture: a whole GCmpSH0 picture decoded into a 24-bit
// DIB, handed to the host as two result blocks.
//
// The info block is a 40-byte BITMAPINFOHEADER with no colour table: the
// header's width, its height (positive, so the first row of the stream is the
// bottom row of the picture), 1 plane, 24 bits, BI_RGB and zeros elsewhere.
// The pixel block holds the rows in stream order, each of 3 * width bytes and
// filled out with zero bytes to a multiple of 4.
//
// The pixel block is allocated zeroed, which the system does without touching
// it: once every pixel still to come is black (a stream whose data end early
// decodes as black to the end), those rows are left as they are, so such a
// picture costs what its data hold, not what its header claims.
#include <cstddef>
#include <cstring>

#include "picture/picture_plugin.h"
#include "picture/pixel_decoder.h"
#include "support/result_block.h"

namespace picture {

namespace {

#pragma pack(push, 1)
struct BitmapInfoHeader {
  std::uint32_t size;
  std::int32_t width;
  std::int32_t height;
  std::uint16_t planes;
  std::uint16_t bit_count;
  std::uint32_t compression;
  std::uint32_t size_image;
  std::int32_t x_pels_per_meter;
  std::int32_t y_pels_per_meter;
  std::uint32_t clr_used;
  std::uint32_t clr_important;
};
#pragma pack(pop)
static_assert(sizeof(BitmapInfoHeader) == 40);
static_assert(offsetof(BitmapInfoHeader, bit_count) == 14);
static_assert(offsetof(BitmapInfoHeader, clr_important) == 36);

// Each row is 3 * width bytes followed by 0 to 3 zero bytes of padding.
struct RowLayout {
  std::uint32_t row_bytes;
  std::uint32_t pad;
};

RowLayout LayoutOf(const PictureHeader& header) {
  const std::uint32_t row_bytes =
      static_cast<std::uint32_t>(header.depth >> 3) * static_cast<std::uint32_t>(header.width);
  return RowLayout{row_bytes, (4 - row_bytes % 4) % 4};
}

// Decodes every row into the locked, zeroed pixel block (whose padding is
// therefore zero already), with a progress call before each row and one at
// the end. False when the decoder fails or the host asks to stop; the status
// is recorded in the source.
bool DecodeRows(PixelDecoder& decoder, InputSource& input, const PictureHeader& header,
                std::uint8_t* bits, ProgressCallback progress, HostInt user_data) {
  const RowLayout layout = LayoutOf(header);
  bool black_rest = false;
  for (std::int32_t row = 0; row < header.height; ++row) {
    if (ProgressSaysStop(progress, row, header.height, user_data)) {
      RecordStatus(input, Cancelled);
      return false;
    }
    if (!black_rest) {
      const std::uint64_t pixels_left =
          std::uint64_t{static_cast<std::uint32_t>(header.height - row)} *
          static_cast<std::uint32_t>(header.width);
      std::uint32_t color = 0;
      black_rest = RestIsOneColor(decoder, pixels_left, &color) && color == 0;
    }
    if (!black_rest && !DecodeRow(decoder, bits, header.width)) return false;
    bits += layout.row_bytes + layout.pad;
  }
  if (ProgressSaysStop(progress, header.height, header.height, user_data)) {
    RecordStatus(input, Cancelled);
    return false;
  }
  return true;
}

std::int32_t DecodePicture(const Platform& os, const void* source, HostInt length_or_offset,
                           std::uint32_t flags, MemoryHandle* info_slot, MemoryHandle* bits_slot,
                           ProgressCallback progress, HostInt user_data, TextKind names) {
  *bits_slot = nullptr;
  *info_slot = nullptr;
  InputSource input;
  PictureHeader header;
  PixelDecoder decoder;
  void* info = nullptr;
  void* bits = nullptr;
  bool done = OpenSource(input, os, source, length_or_offset, flags, names) &&
              ReadPictureHeader(input, &header) && PrimeDecoder(decoder, input) &&
              AllocResultBlock(input, info_slot, &info, sizeof(BitmapInfoHeader));
  if (done) {
    BitmapInfoHeader bitmap{};
    bitmap.size = sizeof(BitmapInfoHeader);
    bitmap.width = header.width;
    bitmap.height = header.height;
    bitmap.planes = 1;
    bitmap.bit_count = static_cast<std::uint16_t>(header.depth);
    std::memcpy(info, &bitmap, sizeof bitmap);
    // Width and height are below 2^15, so the size stays below 2^32.
    const RowLayout layout = LayoutOf(header);
    const std::uint32_t bits_size =
        (layout.row_bytes + layout.pad) * static_cast<std::uint32_t>(header.height);
    done =
        AllocResultBlock(input, bits_slot, &bits, bits_size, true) &&
        DecodeRows(decoder, input, header, static_cast<std::uint8_t*>(bits), progress, user_data);
  }
  if (done) {
    HandOverResultBlock(os, *bits_slot);
    HandOverResultBlock(os, *info_slot);
  } else {
    if (*bits_slot != nullptr) FreeResultBlock(os, bits_slot);
    if (*info_slot != nullptr) FreeResultBlock(os, info_slot);
  }
  CloseSource(input);
  return input.status;
}

}  // namespace

std::int32_t GetPicture(const Platform& os, const void* source, HostInt length_or_offset,
                        std::uint32_t flags, MemoryHandle* info_slot, MemoryHandle* bits_slot,
                        ProgressCallback progress, HostInt user_data) {
  return DecodePicture(os, source, length_or_offset, flags, info_slot, bits_slot, progress,
                       user_data, TextKind::Ansi);
}

std::int32_t GetPictureW(const Platform& os, const void* source, HostInt length_or_offset,
                         std::uint32_t flags, MemoryHandle* info_slot, MemoryHandle* bits_slot,
                         ProgressCallback progress, HostInt user_data) {
  return DecodePicture(os, source, length_or_offset, flags, info_slot, bits_slot, progress,
                       user_data, TextKind::Wide);
}

}  // namespace picture
