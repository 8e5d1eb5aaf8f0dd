// This file contains the plug-in calls that take an input, as the
// command-line tool makes them: a file, by name, through the W export or the
// ANSI one (see SpellForPlugin); or data already in memory (standard input),
// as a memory block (input kind 1), as a host does. What comes back is
// turned into plain values.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "plugin_host/plugin_host.h"

// The status of a call that was never made: the file's name could not be
// given to the plug-in (the reason is in *error).
constexpr std::int32_t kUnspellableName = -1000;

// An input: a file by name, or bytes in memory.
struct Source {
  std::string name;  // the file's name, or "-" for standard input
  std::shared_ptr<const std::vector<std::uint8_t>> memory;  // null for a file
};

struct Member {
  std::string name;
  std::uint64_t position;
  std::uint64_t size;
};

// The members GetArchiveInfo(W) lists, in order.
std::int32_t ListArchive(const ArchiveApi& api, const Source& source, std::vector<Member>* members,
                         std::string* error);

// The member GetFileInfo(W) finds for `member_name`.
std::int32_t DescribeMember(const ArchiveApi& api, const Source& source,
                            const std::string& member_name, Member* member, std::string* error);

// GetFile(W) of the member into a block handed to *block. An archive in
// memory hands the plug-in the member's own bytes, which it copies whole.
std::int32_t ExtractToMemory(const ArchiveApi& api, const Source& source, const Member& member,
                             MemoryHandle* block, std::string* error,
                             ProgressCallback progress = nullptr, HostInt user_data = 0);

// GetPictureInfo(W) of a picture file.
std::int32_t DescribePicture(const PictureApi& api, const Source& source, PictureInfoRecord* record,
                             std::string* error);

// GetPicture(W) of a picture.
std::int32_t DecodePicture(const PictureApi& api, const Source& source, MemoryHandle* info,
                           MemoryHandle* bits, ProgressCallback progress, HostInt user_data,
                           std::string* error);

// Copies a handed-over block out and frees it, as a host does.
std::vector<std::uint8_t> TakeResultBlock(MemoryHandle block);
