// This file contains the functions the viewer page calls in its WebAssembly
// module: the same NSC table checks and GCmpSH0 decoding as the plug-ins, on
// bytes the page has read from the user's file (an archive's table, one
// member at a time). Every block is the caller's, allocated with malloc in
// the module's memory; nothing is kept between calls.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#ifdef __wasm_simd128__
#include <wasm_simd128.h>
#endif

#include "archive/member_table.h"
#include "picture/picture_rows.h"
#include "support/input_source.h"
#include "support/platform.h"

namespace {

// The table read from `size` bytes in memory, with the plug-ins' checks;
// false when they are not a whole, valid table.
bool ReadTable(const std::uint8_t* bytes, std::uint32_t size, MemberTable* table) {
  InputSource input;
  OpenSource(input, SystemPlatform(), bytes, static_cast<HostInt>(size), 1);
  return ReadMemberTable(input, table);
}

// Spreads a row of `width` pixels of 3 bytes (blue first, as decoded) to 4
// bytes, red first and opaque, in place, from its right end: a pixel's 4
// bytes never reach the 3 of a pixel to its left that is still to be spread.
void SpreadRow(std::uint8_t* line, std::int32_t width) {
  const auto spread = [line](std::int32_t x) {
    const std::uint32_t pixel =
        line[3 * x + 2] | (line[3 * x + 1] << 8) | (std::uint32_t{line[3 * x]} << 16) | 0xFF000000u;
    std::memcpy(line + 4 * x, &pixel, 4);  // WebAssembly is little-endian
  };
  std::int32_t x = width - 1;
#ifdef __wasm_simd128__
  // Four pixels at a time, their 12 bytes reordered and spread to 16 by one
  // shuffle. Each
  // group reads 16 bytes, so only groups whose read stays in the row's
  // 4 * width bytes go this way; the pixels right of them go one at a time.
  std::int32_t groups = width / 4;
  while (groups > 0 && 12 * (groups - 1) + 16 > 4 * width) --groups;
  for (; x >= 4 * groups; --x) spread(x);
  const v128_t order = wasm_i8x16_make(2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1);
  const v128_t opaque = wasm_i32x4_splat(static_cast<std::int32_t>(0xFF000000u));
  for (std::int32_t g = groups - 1; g >= 0; --g) {
    const v128_t source = wasm_v128_load(line + 12 * g);
    wasm_v128_store(line + 16 * g, wasm_v128_or(wasm_i8x16_swizzle(source, order), opaque));
  }
  x = -1;
#endif
  for (; x >= 0; --x) spread(x);
}

}  // namespace

extern "C" {

// The size of an archive's table from its first 12 bytes, or 0 when they
// do not begin an NSC archive.
std::uint32_t viewer_table_size(const std::uint8_t* first12) {
  const std::uint32_t size = LoadLe32(first12 + 4);
  return TableHeaderValid(LoadLe32(first12), size) ? size : 0;
}

// The number of members of the table (its `size` bytes), or -1 when it is
// not a valid table.
std::int32_t viewer_member_count(const std::uint8_t* table_bytes, std::uint32_t size) {
  MemberTable table{};
  if (!ReadTable(table_bytes, size, &table)) return -1;
  const auto count = static_cast<std::int32_t>(MemberCount(table));
  ReleaseMemberTable(SystemPlatform(), &table);
  return count;
}

// Every member of a valid table: member k's position and size into
// position_size[2k] and [2k + 1], its name as hosts list it into names[16k]
// (NUL-terminated; names are the member's number, at most 10 digits). The
// number of members, or -1 when the table is not valid.
std::int32_t viewer_list(const std::uint8_t* table_bytes, std::uint32_t size,
                         std::uint32_t* position_size, char* names) {
  MemberTable table{};
  if (!ReadTable(table_bytes, size, &table)) return -1;
  const std::uint32_t count = MemberCount(table);
  const NameFormat format = MemberNameFormat(count);
  char name[200];
  for (std::uint32_t k = 0; k < count; ++k) {
    position_size[2 * k] = MemberStart(table, k);
    position_size[2 * k + 1] = MemberSize(table, k);
    FormatMemberName(format, k + 1, name);
    for (int i = 0; i < 16; ++i) names[16 * k + i] = i < 15 ? name[i] : 0;
  }
  ReleaseMemberTable(SystemPlatform(), &table);
  return static_cast<std::int32_t>(count);
}

// The width and height of a GCmpSH0 picture from its first 16 bytes, into
// width_height[0] and [1]: 1, or 0 when they are not a GCmpSH0 header.
std::int32_t viewer_picture_size(const std::uint8_t* head, std::int32_t* width_height) {
  PictureHeader header{};
  if (!ParsePictureHeader(head, &header)) return 0;
  width_height[0] = header.width;
  width_height[1] = header.height;
  return 1;
}

// Decodes the picture (its `size` bytes) scaled to width x height (each from
// 1 up to the picture's; full size when equal) into `rgba`: rows top-down,
// 4 bytes a pixel, red first, opaque. Returns the plug-ins' status: 0 (Ok;
// *truncated then says whether the data ended early, the rest black), 2 not
// a GCmpSH0 picture or a size out of range, 3 broken pixel data, 4 out of
// memory.
std::int32_t viewer_decode(const std::uint8_t* file, std::uint32_t size, std::int32_t width,
                           std::int32_t height, std::uint8_t* rgba, std::int32_t* truncated) {
  InputSource input;
  OpenSource(input, SystemPlatform(), file, static_cast<HostInt>(size), 1);
  // Three bytes a pixel into rows 4 * width apart, blue first as decoded
  // (at full size a plain copy of each row); then each row is spread to four
  // bytes a pixel, red first, in place.
  const std::size_t stride = 4 * static_cast<std::size_t>(width);
  bool data_end_early = false;
  const StatusCode status = DecodeScaledPicture(
      input, width, height, rgba, static_cast<std::ptrdiff_t>(stride), &data_end_early);
  if (status != Ok) return status;
  for (std::int32_t y = 0; y < height; ++y) SpreadRow(rgba + stride * y, width);
  *truncated = data_end_early ? 1 : 0;
  return Ok;
}

}  // extern "C"
