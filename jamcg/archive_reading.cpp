// This file contains the reading of an archive by jamcg's commands.
#include "jamcg/archive_reading.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <new>

#include "archive/archive_plugin.h"
#include "archive/member_table.h"
#include "file_names/file_names.h"

namespace {

// The table read by the archive code, from the file or the memory block.
std::int32_t ReadTable(const Source& source, ArchiveMembers* archive) {
  const Platform& os = SystemPlatform();
  InputSource input;
  PluginName name;  // the name as the platform layer reads it
  std::string ignored;
  if (!source.memory) SpellForPlugin(source.name, false, &name, &ignored);
  const bool opened = source.memory
                          ? OpenSource(input, os, source.memory->data(),
                                       static_cast<HostInt>(source.memory->size()), kInputMemory)
                          : OpenSource(input, os, name.ansi.c_str(), 0, 0);
  MemberTable table{};
  if (opened && ReadMemberTable(input, &table)) {
    archive->words.assign(table.words, table.words + table.word_count);
    ReleaseMemberTable(os, &table);
  }
  CloseSource(input);
  if (input.status != Ok) return input.status;
  const MemberTable words{nullptr, archive->words.data(),
                          static_cast<std::uint32_t>(archive->words.size())};
  archive->names = MemberNameFormat(MemberCount(words));
  for (std::uint32_t k = 0; k < MemberCount(words); ++k) {
    if (MemberSize(words, k) > 1) archive->listed.push_back(k);
  }
  return Ok;
}

Member TableMember(const ArchiveMembers& archive, std::uint32_t k) {
  const MemberTable table{nullptr, archive.words.data(),
                          static_cast<std::uint32_t>(archive.words.size())};
  char name[200];
  FormatMemberName(archive.names, k + 1, name);
  return Member{name, MemberStart(table, k), MemberSize(table, k)};
}

}  // namespace

std::int32_t ReadArchive(const PluginHost& plugins, const Source& source, ArchiveMembers* archive,
                         std::string* error) {
  *archive = ArchiveMembers{};
  archive->source = source;
  std::error_code code;
  archive->file_size =
      source.memory ? source.memory->size() : std::filesystem::file_size(PathOf(source.name), code);
  archive->sized = !code;
  try {
    if (plugins.linked && !source.memory) {
      archive->file = std::make_shared<ArchiveFile>();
      archive->file->stream.open(PathOf(source.name), std::ios::binary);
    }
    if (plugins.linked) return ReadTable(source, archive);
    return ListArchive(plugins.archive, source, &archive->members, error);
  } catch (const std::bad_alloc&) {
    *archive = ArchiveMembers{};
    return NoMemory;
  }
}

std::size_t ListedCount(const ArchiveMembers& archive) {
  return archive.words.empty() ? archive.members.size() : archive.listed.size();
}

Member ListedMember(const ArchiveMembers& archive, std::size_t i) {
  return archive.words.empty() ? archive.members[i] : TableMember(archive, archive.listed[i]);
}

std::uint32_t TableCount(const ArchiveMembers& archive) {
  return archive.words.empty() ? static_cast<std::uint32_t>(archive.members.size())
                               : static_cast<std::uint32_t>(archive.words.size() - 2);
}

std::int32_t FindMember(const PluginHost& plugins, const ArchiveMembers& archive,
                        const std::string& name, Member* member, std::string* error) {
  if (!plugins.linked) return DescribeMember(plugins.archive, archive.source, name, member, error);
  std::uint32_t k = 0;
  if (!archive::MemberIndexOfName(name.c_str(), TableCount(archive), &k)) return ReadError;
  *member = TableMember(archive, k);
  return Ok;
}

bool PastTheEnd(const ArchiveMembers& archive, const Member& member) {
  return archive.sized &&
         (member.position > archive.file_size || member.size > archive.file_size - member.position);
}

std::string PastTheEndText(const ArchiveMembers& archive, const Member& member) {
  return "runs past the end of the file (" + std::to_string(member.position) + " + " +
         std::to_string(member.size) + " > " + std::to_string(archive.file_size) + " bytes)";
}

std::int32_t CopyMember(const PluginHost& plugins, const ArchiveMembers& archive,
                        const Member& member, OutputFile& out, std::string* error,
                        ProgressCallback progress, HostInt user_data) {
  constexpr std::size_t kPiece = std::size_t{4} << 20;
  // The member's bytes when they are in memory: the block the plug-in gave,
  // or the archive read from standard input. Otherwise they are read from the
  // file a piece at a time.
  std::vector<std::uint8_t> whole;
  const std::uint8_t* held = nullptr;
  if (!plugins.linked) {
    const std::int32_t status =
        ReadMember(plugins, archive, member, &whole, error, progress, user_data);
    if (status != Ok) return status;
    held = whole.data();
  } else if (archive.source.memory) {
    held = archive.source.memory->data() + member.position;
  }
  try {
    std::vector<std::uint8_t> piece(held == nullptr ? std::min<std::size_t>(kPiece, member.size)
                                                    : 0);
    for (std::size_t done = 0; done < member.size; done += kPiece) {
      const std::size_t size = std::min<std::size_t>(kPiece, member.size - done);
      if (progress != nullptr &&
          progress(static_cast<std::int32_t>(done * 100 / member.size), 100, user_data) != 0)
        return Cancelled;
      const std::uint8_t* bytes = held != nullptr ? held + done : piece.data();
      if (held == nullptr) {
        std::lock_guard<std::mutex> hold(archive.file->lock);
        std::ifstream& in = archive.file->stream;
        in.clear();
        in.seekg(static_cast<std::streamoff>(member.position + done));
        in.read(reinterpret_cast<char*>(piece.data()), static_cast<std::streamsize>(size));
        if (!in || in.gcount() != static_cast<std::streamsize>(size)) return ReadError;
      }
      if (!WriteOutput(out, bytes, size, error)) return OutputError;
    }
  } catch (const std::bad_alloc&) {
    return NoMemory;
  }
  return Ok;
}

std::int32_t ReadMember(const PluginHost& plugins, const ArchiveMembers& archive,
                        const Member& member, std::vector<std::uint8_t>* bytes, std::string* error,
                        ProgressCallback progress, HostInt user_data) {
  try {
    if (!plugins.linked) {
      MemoryHandle block = nullptr;
      const std::int32_t status = ExtractToMemory(plugins.archive, archive.source, member, &block,
                                                  error, progress, user_data);
      if (status == Ok) *bytes = TakeResultBlock(block);
      return status;
    }
    const Source& source = archive.source;
    if (source.memory) {
      const auto* start = source.memory->data() + member.position;
      bytes->assign(start, start + member.size);
      return Ok;
    }
    bytes->resize(member.size);
    std::lock_guard<std::mutex> hold(archive.file->lock);
    std::ifstream& in = archive.file->stream;
    in.clear();
    in.seekg(static_cast<std::streamoff>(member.position));
    in.read(reinterpret_cast<char*>(bytes->data()), static_cast<std::streamsize>(member.size));
    if (!in || in.gcount() != static_cast<std::streamsize>(member.size)) return ReadError;
    return Ok;
  } catch (const std::bad_alloc&) {
    bytes->clear();
    return NoMemory;
  }
}
