// This file contains the plug-in calls that take file names, as the
// command-line tool makes them: each picks the W export or the ANSI one (see
// SpellForPlugin) and turns what comes back into plain values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/plugin_host.h"

// The status of a call that was never made: the file's name could not be
// given to the plug-in (the reason is in *error).
constexpr std::int32_t kUnspellableName = -1000;

struct Member {
  std::string name;
  std::uint64_t position;
  std::uint64_t size;
};

// The members GetArchiveInfo(W) lists, in order.
std::int32_t ListArchive(const ArchiveApi& api, const std::string& path,
                         std::vector<Member>* members, std::string* error);

// The member GetFileInfo(W) finds for `member_name`.
std::int32_t DescribeMember(const ArchiveApi& api, const std::string& path,
                            const std::string& member_name, Member* member, std::string* error);

// GetFile(W) of the member at `position` into a block handed to *block.
std::int32_t ExtractToMemory(const ArchiveApi& api, const std::string& path, std::uint64_t position,
                             MemoryHandle* block, std::string* error,
                             ProgressCallback progress = nullptr, HostInt user_data = 0);

// GetPictureInfo(W) of a picture file.
std::int32_t DescribePicture(const PictureApi& api, const std::string& path,
                             PictureInfoRecord* record, std::string* error);

// GetPicture(W) of a picture file.
std::int32_t DecodePictureFile(const PictureApi& api, const std::string& path, MemoryHandle* info,
                               MemoryHandle* bits, ProgressCallback progress, HostInt user_data,
                               std::string* error);

// Copies a handed-over block out and frees it, as a host does.
std::vector<std::uint8_t> TakeResultBlock(MemoryHandle block);
