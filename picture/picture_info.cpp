// This file contains the picture plug-in's operations that need nothing but
// the header: IsSupported and GetPictureInfo.
#include "picture/picture_plugin.h"
#include "support/input_source.h"

namespace picture {

std::int32_t IsSupported(const Platform& os, const char* file_name, std::uintptr_t probe_word) {
  InputSource input;
  PictureHeader header;
  bool supported = OpenProbe(input, os, file_name, probe_word) && ReadPictureHeader(input, &header);
  CloseSource(input);
  return supported ? 1 : 0;
}

namespace {

std::int32_t DescribePicture(const Platform& os, const void* source, HostInt length_or_offset,
                             std::uint32_t flags, PictureInfoRecord* info_out, TextKind names) {
  InputSource input;
  PictureHeader header;
  if (OpenSource(input, os, source, length_or_offset, flags, names) &&
      ReadPictureHeader(input, &header)) {
    PictureInfoRecord record{};
    record.width = header.width;
    record.height = header.height;
    record.color_depth = header.depth;
    *info_out = record;
  }
  CloseSource(input);
  return input.status;
}

}  // namespace

std::int32_t GetPictureInfo(const Platform& os, const void* source, HostInt length_or_offset,
                            std::uint32_t flags, PictureInfoRecord* info_out) {
  return DescribePicture(os, source, length_or_offset, flags, info_out, TextKind::Ansi);
}

std::int32_t GetPictureInfoW(const Platform& os, const void* source, HostInt length_or_offset,
                             std::uint32_t flags, PictureInfoRecord* info_out) {
  return DescribePicture(os, source, length_or_offset, flags, info_out, TextKind::Wide);
}

std::int32_t GetPreview(const void*, HostInt, std::uint32_t, MemoryHandle*, MemoryHandle*,
                        ProgressCallback, HostInt) {
  return NotImplemented;
}

}  // namespace picture
