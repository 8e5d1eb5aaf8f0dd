// This file contains the operations of the picture plug-in, orbelint. Each
// takes the platform it works through first; the library's exports pass the
// system's, tests pass one that can fail on purpose. Otherwise they are the
// host's calls exactly, with the same arguments and results.
#pragma once

#include <cstdint>

#include "picture/picture_header.h"
#include "support/host_contract.h"
#include "support/platform.h"
#include "support/plugin_info.h"

namespace picture {

// Kind code, name, and the one pattern with its description.
extern const PluginInfoTable kInfoTable;

// 1 when the probe (the host's 2048-byte head block, or its open file handle,
// see OpenProbe) begins with a valid GCmpSH0 header; 0 on any failure. A lent
// handle is left at the position it had.
std::int32_t IsSupported(const Platform& os, const char* file_name, std::uintptr_t probe_word);

// Reads and checks the header and writes the whole record at info_out.
// Returns Ok; UnsupportedFormat for an invalid header (also a source shorter
// than 16 bytes); ReadError when the file cannot be opened, positioned or
// read. On failure the record
// is left as it was.
std::int32_t GetPictureInfo(const Platform& os, const void* source, HostInt length_or_offset,
                            std::uint32_t flags, PictureInfoRecord* info_out);
// The same; a file name is UTF-16.
std::int32_t GetPictureInfoW(const Platform& os, const void* source, HostInt length_or_offset,
                             std::uint32_t flags, PictureInfoRecord* info_out);

// Decodes the whole picture into two result blocks handed to the host: a
// 40-byte BITMAPINFOHEADER into *info_slot and the rows, bottom-up and padded
// to multiples of 4 bytes, into *bits_slot. Calls progress (0,h) ... (h-1,h)
// before each row and (h,h) at the end. Returns Ok with both slots set and
// both blocks unlocked (the host frees them); otherwise Cancelled,
// UnsupportedFormat (header), BrokenData, NoMemory, MemoryError (a block not
// lockable) or ReadError, with both slots null and nothing held.
std::int32_t GetPicture(const Platform& os, const void* source, HostInt length_or_offset,
                        std::uint32_t flags, MemoryHandle* info_slot, MemoryHandle* bits_slot,
                        ProgressCallback progress, HostInt user_data);
// The same; a file name is UTF-16.
std::int32_t GetPictureW(const Platform& os, const void* source, HostInt length_or_offset,
                         std::uint32_t flags, MemoryHandle* info_slot, MemoryHandle* bits_slot,
                         ProgressCallback progress, HostInt user_data);

// Previews are not provided: returns NotImplemented (-1) and reads none of
// its arguments. GetPreviewW is the same.
std::int32_t GetPreview(const void* source, HostInt length_or_offset, std::uint32_t flags,
                        MemoryHandle* info_slot, MemoryHandle* bits_slot, ProgressCallback progress,
                        HostInt user_data);

}  // namespace picture
