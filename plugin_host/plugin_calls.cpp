// This file contains the tool's plug-in calls by file name.
#include "plugin_host/plugin_calls.h"

#include <algorithm>
#include <cstring>

#include "file_names/file_names.h"
#include "support/platform.h"
#include "support/text_encoding.h"

namespace {

constexpr std::uint32_t kFileInput = 0x0;
constexpr std::uint32_t kMemoryInput = 0x1;
constexpr std::uint32_t kToMemory = 0x100;

// The member a record describes; its name is ASCII digits in either kind.
Member MemberOf(const ArchiveMemberRecord& record) {
  return Member{std::string(record.file_name, strnlen(record.file_name, sizeof record.file_name)),
                record.position, record.stored_size};
}

Member MemberOf(const WideMemberRecord& record) {
  std::string name;
  for (std::size_t i = 0; i < 200 && record.file_name[i] != 0; ++i)
    name.push_back(static_cast<char>(record.file_name[i]));
  return Member{name, record.position, record.stored_size};
}

// The records of a listing block of `size` bytes, up to its end record.
template <class Record>
void ReadListing(const std::uint8_t* bytes, std::size_t size, std::vector<Member>* members) {
  for (std::size_t i = 0; (i + 1) * sizeof(Record) <= size; ++i) {
    Record record;
    std::memcpy(&record, bytes + i * sizeof(Record), sizeof record);
    if (record.method[0] == '\0') break;
    members->push_back(MemberOf(record));
  }
}

HostInt Position(std::uint64_t position) { return static_cast<HostInt>(position); }

const void* Data(const Source& source) { return source.memory->data(); }
HostInt Length(const Source& source) { return static_cast<HostInt>(source.memory->size()); }

}  // namespace

std::vector<std::uint8_t> TakeResultBlock(MemoryHandle block) {
  const Platform& os = SystemPlatform();
  std::vector<std::uint8_t> bytes;
  if (const auto* data = static_cast<const std::uint8_t*>(OsLocalLock(os, block))) {
    bytes.assign(data, data + OsLocalSize(os, block));
    OsLocalUnlock(os, block);
  }
  OsLocalFree(os, block);
  return bytes;
}

std::int32_t ListArchive(const ArchiveApi& api, const Source& source, std::vector<Member>* members,
                         std::string* error) {
  PluginName name;
  if (!source.memory && !SpellForPlugin(source.name, api.GetArchiveInfoW != nullptr, &name, error))
    return kUnspellableName;
  MemoryHandle block = nullptr;
  const std::int32_t status =
      source.memory ? api.GetArchiveInfo(Data(source), Length(source), kMemoryInput, &block)
      : name.wide   ? api.GetArchiveInfoW(name.utf16.c_str(), 0, kFileInput, &block)
                    : api.GetArchiveInfo(name.ansi.c_str(), 0, kFileInput, &block);
  if (status != Ok) return status;
  // Read in place: the block may be gigabytes (a record per member).
  const Platform& os = SystemPlatform();
  const auto* bytes = static_cast<const std::uint8_t*>(OsLocalLock(os, block));
  const std::size_t size = bytes != nullptr ? OsLocalSize(os, block) : 0;
  if (name.wide) {
    ReadListing<WideMemberRecord>(bytes, size, members);
  } else {
    ReadListing<ArchiveMemberRecord>(bytes, size, members);
  }
  if (bytes != nullptr) OsLocalUnlock(os, block);
  OsLocalFree(os, block);
  return Ok;
}

std::int32_t DescribeMember(const ArchiveApi& api, const Source& source,
                            const std::string& member_name, Member* member, std::string* error) {
  PluginName name;
  if (!source.memory && !SpellForPlugin(source.name, api.GetFileInfoW != nullptr, &name, error))
    return kUnspellableName;
  std::int32_t status;
  if (source.memory) {
    ArchiveMemberRecord record{};
    status =
        api.GetFileInfo(Data(source), Length(source), member_name.c_str(), kMemoryInput, &record);
    if (status == Ok) *member = MemberOf(record);
  } else if (name.wide) {
    std::u16string wide_member;
    if (!Utf16FromUtf8(member_name, &wide_member)) return ReadError;  // names no member
    WideMemberRecord record{};
    status = api.GetFileInfoW(name.utf16.c_str(), 0, wide_member.c_str(), kFileInput, &record);
    if (status == Ok) *member = MemberOf(record);
  } else {
    ArchiveMemberRecord record{};
    status = api.GetFileInfo(name.ansi.c_str(), 0, member_name.c_str(), kFileInput, &record);
    if (status == Ok) *member = MemberOf(record);
  }
  return status;
}

std::int32_t ExtractToMemory(const ArchiveApi& api, const Source& source, const Member& member,
                             MemoryHandle* block, std::string* error, ProgressCallback progress,
                             HostInt user_data) {
  if (source.memory) {
    // The member's bytes as the host's block; past the end there are none.
    const std::uint64_t size = source.memory->size();
    const std::uint64_t start = std::min(member.position, size);
    const std::uint64_t length = std::min(member.size, size - start);
    return api.GetFile(source.memory->data() + start, static_cast<HostInt>(length), block,
                       kMemoryInput | kToMemory, progress, user_data);
  }
  PluginName name;
  if (!SpellForPlugin(source.name, api.GetFileW != nullptr, &name, error)) return kUnspellableName;
  if (name.wide) {
    return api.GetFileW(name.utf16.c_str(), Position(member.position), block,
                        kFileInput | kToMemory, progress, user_data);
  }
  return api.GetFile(name.ansi.c_str(), Position(member.position), block, kFileInput | kToMemory,
                     progress, user_data);
}

std::int32_t DescribePicture(const PictureApi& api, const Source& source, PictureInfoRecord* record,
                             std::string* error) {
  if (source.memory) return api.GetPictureInfo(Data(source), Length(source), kMemoryInput, record);
  PluginName name;
  if (!SpellForPlugin(source.name, api.GetPictureInfoW != nullptr, &name, error))
    return kUnspellableName;
  return name.wide ? api.GetPictureInfoW(name.utf16.c_str(), 0, kFileInput, record)
                   : api.GetPictureInfo(name.ansi.c_str(), 0, kFileInput, record);
}

std::int32_t DecodePicture(const PictureApi& api, const Source& source, MemoryHandle* info,
                           MemoryHandle* bits, ProgressCallback progress, HostInt user_data,
                           std::string* error) {
  if (source.memory) {
    return api.GetPicture(Data(source), Length(source), kMemoryInput, info, bits, progress,
                          user_data);
  }
  PluginName name;
  if (!SpellForPlugin(source.name, api.GetPictureW != nullptr, &name, error))
    return kUnspellableName;
  return name.wide
             ? api.GetPictureW(name.utf16.c_str(), 0, kFileInput, info, bits, progress, user_data)
             : api.GetPicture(name.ansi.c_str(), 0, kFileInput, info, bits, progress, user_data);
}
