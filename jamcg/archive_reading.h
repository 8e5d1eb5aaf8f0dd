// This file contains an archive as jamcg's commands read it: once. Where the
// plug-in code is linked in (the Linux jamcg), its member table is read a
// single time by the archive code, members are described from that reading
// and their bytes read straight from the file, so that a command costs one
// table read whatever the number of members, and a table of four million
// members costs its 16 MiB, not a record block of gigabytes. jamcg.exe, which
// has only the DLLs, calls them as a host does: GetArchiveInfo for the list,
// GetFileInfo for a name, GetFile for each member.
//
// Either way a member whose extent runs past the end of the file is never
// read: the plug-ins would make up its missing bytes as zeros.
#pragma once

#include <cstdint>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "file_names/output_files.h"
#include "plugin_host/plugin_calls.h"

// The archive file, open once for reading members (linked in), by one
// reader at a time.
struct ArchiveFile {
  std::ifstream stream;
  std::mutex lock;
};

struct ArchiveMembers {
  Source source;
  std::uint64_t file_size = 0;  // the archive's size in bytes
  bool sized = false;           // file_size is known
  // Linked in: the table's words, and the index of every member a listing
  // shows (2 bytes or more), in order.
  std::vector<std::uint32_t> words;
  std::vector<std::uint32_t> listed;
  NameFormat names{};                 // how members are named, for the table's member count
  std::shared_ptr<ArchiveFile> file;  // null for an archive in memory
  // Through the DLLs: the members GetArchiveInfo listed.
  std::vector<Member> members;
};

// Reads the archive's table (linked in) or listing (DLLs). Returns Ok or the
// plug-ins' status (with kUnspellableName's reason in *error).
std::int32_t ReadArchive(const PluginHost& plugins, const Source& source, ArchiveMembers* archive,
                         std::string* error);

// The members a listing shows, in order.
std::size_t ListedCount(const ArchiveMembers& archive);
Member ListedMember(const ArchiveMembers& archive, std::size_t i);
// Every member of the table, listed or not (linked in; through the DLLs, the
// listed ones).
std::uint32_t TableCount(const ArchiveMembers& archive);

// The member `name` names, as GetFileInfo reads names: Ok, or ReadError when
// it names none.
std::int32_t FindMember(const PluginHost& plugins, const ArchiveMembers& archive,
                        const std::string& name, Member* member, std::string* error);

// True when the member's extent runs past the end of the archive file.
bool PastTheEnd(const ArchiveMembers& archive, const Member& member);
// "runs past the end of the file (P + S > F bytes)".
std::string PastTheEndText(const ArchiveMembers& archive, const Member& member);

// Writes the member (one that is not past the end) to `out`. Linked in, it is
// read from the file in pieces, each written as it comes, so that a member of
// any size takes a piece's memory; through the DLLs, GetFile to memory (their
// only way) and then written in pieces. `progress` is called between pieces,
// and a nonzero result cancels. Ok, the status of the failure, or OutputError
// with *error when writing failed.
std::int32_t CopyMember(const PluginHost& plugins, const ArchiveMembers& archive,
                        const Member& member, OutputFile& out, std::string* error,
                        ProgressCallback progress, HostInt user_data);

// The member's bytes (one that is not past the end). Linked in, read from
// the file; through the DLLs, GetFile to memory with `progress`. Ok, or the
// status of the failure (NoMemory when the bytes cannot be held).
std::int32_t ReadMember(const PluginHost& plugins, const ArchiveMembers& archive,
                        const Member& member, std::vector<std::uint8_t>* bytes, std::string* error,
                        ProgressCallback progress = nullptr, HostInt user_data = 0);
