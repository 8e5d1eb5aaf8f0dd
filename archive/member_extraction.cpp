// This file contains GetFile and GetFileW: one member of an NSC archive
// copied out, into a result block for the host or into a file in a folder
// the host names (single-byte or UTF-16).
#include <cstring>

#include "archive/archive_plugin.h"
#include "archive/member_table.h"
#include "support/result_block.h"

namespace archive {

namespace {

constexpr std::int32_t kChunks = 32;

struct Member {
  std::uint32_t size;
  char name[200];
};

// With file input: reads the table from the file's first byte, finds the first
// member that starts at `position`, and puts the file back at that start.
bool ChooseMember(InputSource& input, HostInt position, Member* member) {
  MemberTable table{};
  if (!SeekAbsolute(input, 0) || !ReadMemberTable(input, &table)) return false;
  bool found = false;
  for (std::uint32_t k = 0; k < MemberCount(table) && !found; ++k) {
    if (static_cast<HostInt>(MemberStart(table, k)) != position) continue;
    found = true;
    member->size = MemberSize(table, k);
    FormatMemberName(MemberNameFormat(MemberCount(table)), k + 1, member->name);
  }
  ReleaseMemberTable(*input.os, &table);
  if (!found) {
    // A position that starts no member names nothing to extract.
    RecordStatus(input, ReadError);
    return false;
  }
  return SeekFromBase(input, 0);
}

// The most asked of the system in one read: a system may touch the whole of
// a read's buffer before it learns that the file holds no more.
constexpr std::uint32_t kLargestRead = 1u << 20;

// Reads `count` bytes of the member into the zeroed block, in reads of at
// most kLargestRead. Bytes past the end of the data read as zeros: the block
// holds them already, so once a read comes back short (*ended) nothing more
// is read, and a member that runs past the end of its file costs only the
// bytes the file has.
bool ReadPart(InputSource& input, std::uint8_t* block, std::uint32_t count, bool* ended) {
  while (count != 0 && !*ended) {
    const std::uint32_t piece = count < kLargestRead ? count : kLargestRead;
    std::uint32_t got = 0;
    if (!ReadSourceUpTo(input, block, piece, &got)) return false;
    *ended = got < piece;
    block += piece;
    count -= piece;
  }
  return true;
}

// Reads the member into the block: in 32 chunks and the rest, with a
// progress call before each chunk and two at the end, when there is a
// callback; in one read otherwise.
bool CopyMember(InputSource& input, std::uint8_t* block, std::uint32_t size,
                ProgressCallback progress, HostInt user_data) {
  bool ended = false;
  if (progress == nullptr) return ReadPart(input, block, size, &ended);
  std::uint32_t chunk = size / kChunks;
  std::int32_t chunks = kChunks;
  if (chunk == 0) {
    chunk = 1;
    chunks = static_cast<std::int32_t>(size);
  }
  for (std::int32_t i = 0; i < chunks; ++i) {
    if (ProgressSaysStop(progress, i, chunks, user_data)) {
      RecordStatus(input, Cancelled);
      return false;
    }
    if (!ReadPart(input, block, chunk, &ended)) return false;
    block += chunk;
  }
  const std::uint32_t rest = size - static_cast<std::uint32_t>(chunks) * chunk;
  if (rest != 0 && !ReadPart(input, block, rest, &ended)) return false;
  if (ProgressSaysStop(progress, chunks, chunks, user_data) ||
      ProgressSaysStop(progress, 0, kChunks, user_data)) {
    RecordStatus(input, Cancelled);
    return false;
  }
  return true;
}

template <class Char>
std::size_t TextLength(const Char* text) {
  std::size_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

FileHandle CreateOutput(const Platform& os, const char* path) {
  return OsCreateFile(os, path, kGenericWrite, kShareNone, kOpenAlways);
}
FileHandle CreateOutput(const Platform& os, const WideChar* path) {
  return OsCreateFileWide(os, path, kGenericWrite, kShareNone, kOpenAlways);
}

// Writes the block to DEST\NAME (NAME alone for an empty DEST). The file is
// created or opened, written, and cut at the member's end, so that it holds
// exactly the member even where a longer file stood. If the write fails, what
// was written is cut off again, so no part of the member is left behind. A
// path longer than its area is refused before anything is created.
template <class Char, std::size_t kPathUnits>
bool WriteMemberFile(InputSource& input, const Char* dest, const char* name,
                     const std::uint8_t* block, std::uint32_t size) {
  const Platform& os = *input.os;
  Char path[kPathUnits];
  const std::size_t dest_length = TextLength(dest);
  const std::size_t name_length = std::strlen(name);
  const std::size_t separator = dest_length != 0 ? 1 : 0;
  if (dest_length >= kPathUnits || dest_length + separator + name_length >= kPathUnits) {
    RecordStatus(input, OutputError);
    return false;
  }
  std::memcpy(path, dest, dest_length * sizeof(Char));
  if (separator != 0) path[dest_length] = '\\';
  for (std::size_t i = 0; i <= name_length; ++i)
    path[dest_length + separator + i] = static_cast<unsigned char>(name[i]);

  FileHandle file = CreateOutput(os, path);
  if (file == kInvalidHandle) {
    RecordOsFailure(input, OutputError);
    return false;
  }
  std::uint32_t written = 0;
  bool ok =
      OsWriteFile(os, file, block, size, &written) && written == size && OsSetEndOfFile(os, file);
  if (!ok) {
    // A short write succeeds but leaves the last error as it was.
    RecordOsFailure(input, OutputError);
    if (OsSetFilePointer(os, file, 0, kFileBegin)) OsSetEndOfFile(os, file);
  }
  OsCloseHandle(os, file);
  return ok;
}

template <class Char, std::size_t kPathUnits>
std::int32_t ExtractMember(const Platform& os, const void* source, HostInt position_or_length,
                           void* dest, std::uint32_t flags, ProgressCallback progress,
                           HostInt user_data) {
  constexpr TextKind names = sizeof(Char) == 1 ? TextKind::Ansi : TextKind::Wide;
  const std::uint32_t output = flags & kOutputKindMask;
  if (output != kOutputFile && output != kOutputMemory) return OutputError;
  InputSource input;
  Member member{};
  MemoryHandle slot = nullptr;
  void* block = nullptr;
  bool ok = OpenSource(input, os, source, position_or_length, flags, names);
  if (ok && IsMemoryInput(flags)) {
    // The block as the source reads it: an impossible length reads as empty.
    const auto size = static_cast<std::uint64_t>(input.end - input.base);
    if (size > 0xFFFFFFFFu) {
      RecordStatus(input, NoMemory);  // no result block can be that large
      ok = false;
    }
    member.size = static_cast<std::uint32_t>(size);
    std::memcpy(member.name, "noname", 7);
  } else if (ok) {
    ok = ChooseMember(input, position_or_length, &member);
  }
  ok = ok && AllocResultBlock(input, &slot, &block, member.size, true) &&
       CopyMember(input, static_cast<std::uint8_t*>(block), member.size, progress, user_data);
  if (ok && output == kOutputMemory) {
    *static_cast<MemoryHandle*>(dest) = slot;
    HandOverResultBlock(os, slot);
    slot = nullptr;
  } else if (ok) {
    WriteMemberFile<Char, kPathUnits>(input, static_cast<const Char*>(dest), member.name,
                                      static_cast<const std::uint8_t*>(block), member.size);
  }
  if (slot != nullptr) FreeResultBlock(os, &slot);
  CloseSource(input);
  return input.status;
}

}  // namespace

std::int32_t GetFile(const Platform& os, const void* source, HostInt position_or_length, void* dest,
                     std::uint32_t flags, ProgressCallback progress, HostInt user_data) {
  return ExtractMember<char, kAnsiPathUnits>(os, source, position_or_length, dest, flags, progress,
                                             user_data);
}

std::int32_t GetFileW(const Platform& os, const void* source, HostInt position_or_length,
                      void* dest, std::uint32_t flags, ProgressCallback progress,
                      HostInt user_data) {
  return ExtractMember<WideChar, kWidePathUnits>(os, source, position_or_length, dest, flags,
                                                 progress, user_data);
}

}  // namespace archive
