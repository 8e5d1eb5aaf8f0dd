// This file contains the check of the GCmpSH0 header.
#include "picture/picture_header.h"

#include <cstring>

#include "support/byte_order.h"

namespace {

constexpr char kMagic[8] = {'G', 'C', 'm', 'p', 'S', 'H', '0', '\0'};

// The header's numbers are signed 16-bit.
std::int16_t Int16At(const std::uint8_t* bytes) {
  return static_cast<std::int16_t>(LoadLe16(bytes));
}

}  // namespace

bool ParsePictureHeader(const std::uint8_t bytes[kPictureHeaderSize], PictureHeader* header) {
  PictureHeader read{};
  std::memcpy(read.magic, bytes, sizeof read.magic);
  read.width = Int16At(bytes + 8);
  read.height = Int16At(bytes + 10);
  read.depth = Int16At(bytes + 12);
  read.reserved = Int16At(bytes + 14);
  bool valid = std::memcmp(read.magic, kMagic, sizeof kMagic) == 0 && read.width >= 1 &&
               read.height >= kLowestHeight && read.depth == kPictureDepth && read.reserved == 0;
  if (valid) *header = read;
  return valid;
}

bool ReadPictureHeader(InputSource& input, PictureHeader* header) {
  std::uint8_t bytes[kPictureHeaderSize];
  if (!ReadSource(input, bytes, sizeof bytes)) return false;
  if (!ParsePictureHeader(bytes, header)) {
    RecordStatus(input, UnsupportedFormat);
    return false;
  }
  return true;
}
