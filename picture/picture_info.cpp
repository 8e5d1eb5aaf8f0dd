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

std::int32_t GetPictureInfo(const Platform& os, const void* source, std::int32_t length_or_offset,
                            std::uint32_t flags, PictureInfoRecord* info_out) {
  InputSource input;
  PictureHeader header;
  if (OpenSource(input, os, source, length_or_offset, flags) && ReadPictureHeader(input, &header)) {
    PictureInfoRecord record{};
    record.width = header.width;
    record.height = header.height;
    record.color_depth = header.depth;
    *info_out = record;
  }
  CloseSource(input);
  return input.status;
}

std::int32_t GetPreview(const void*, std::int32_t, std::uint32_t, MemoryHandle*, MemoryHandle*,
                        ProgressCallback, std::intptr_t) {
  return NotImplemented;
}

}  // namespace picture
