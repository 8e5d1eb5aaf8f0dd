// This file contains the GCmpSH0 picture header and the record in which a
// picture's size is described to the host.
//
// A GCmpSH0 picture is a 16-byte header followed by the pixel stream:
//
//   offset size  field     valid when
//   0      8     magic     "GCmpSH0" and a zero byte, all eight bytes
//   8      2     width     signed 16-bit, at least 1
//   10     2     height    signed 16-bit, at least 9
//   12     2     depth     signed 16-bit, exactly 24 (bits per pixel)
//   14     2     reserved  exactly 0
//
// All numbers are little-endian. The pixel stream begins at offset 16.
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/input_source.h"

constexpr std::uint32_t kPictureHeaderSize = 16;
constexpr std::int16_t kLowestHeight = 9;
constexpr std::int16_t kPictureDepth = 24;

struct PictureHeader {
  char magic[8];
  std::int16_t width;
  std::int16_t height;
  std::int16_t depth;
  std::int16_t reserved;
};
static_assert(sizeof(PictureHeader) == 16);
static_assert(offsetof(PictureHeader, width) == 8);
static_assert(offsetof(PictureHeader, height) == 10);
static_assert(offsetof(PictureHeader, depth) == 12);
static_assert(offsetof(PictureHeader, reserved) == 14);

// Reads a header from its 16 stored bytes and checks all five rules.
bool ParsePictureHeader(const std::uint8_t bytes[kPictureHeaderSize], PictureHeader* header);

// Reads the 16 header bytes from the source and checks them. A failed read
// leaves its ReadError; a broken rule records UnsupportedFormat.
bool ReadPictureHeader(InputSource& input, PictureHeader* header);

// What GetPictureInfo writes into host memory, packed: 26 bytes in the 32-bit
// edition; 32 in the 64-bit edition, whose info_handle is 8 bytes at 24,
// after 2 bytes of padding (written as zero).
#pragma pack(push, 1)
struct PictureInfoRecord {
  std::int32_t left;
  std::int32_t top;
  std::int32_t width;
  std::int32_t height;
  std::uint16_t x_density;
  std::uint16_t y_density;
  std::int16_t color_depth;
#if UINTPTR_MAX > 0xFFFFFFFFu
  std::uint16_t padding;
#endif
  HostWord info_handle;  // a memory handle; always null here
};
#pragma pack(pop)
static_assert(sizeof(PictureInfoRecord) == (kIs64BitEdition ? 32 : 26));
static_assert(offsetof(PictureInfoRecord, top) == 4);
static_assert(offsetof(PictureInfoRecord, width) == 8);
static_assert(offsetof(PictureInfoRecord, height) == 12);
static_assert(offsetof(PictureInfoRecord, x_density) == 16);
static_assert(offsetof(PictureInfoRecord, y_density) == 18);
static_assert(offsetof(PictureInfoRecord, color_depth) == 20);
#if UINTPTR_MAX > 0xFFFFFFFFu
static_assert(offsetof(PictureInfoRecord, padding) == 22);
static_assert(offsetof(PictureInfoRecord, info_handle) == 24);
#else
static_assert(offsetof(PictureInfoRecord, info_handle) == 22);
#endif
