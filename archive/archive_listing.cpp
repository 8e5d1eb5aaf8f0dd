// This file contains the archive plug-in's listing: IsSupported,
// GetArchiveInfo and GetFileInfo, each also with UTF-16 texts. They read only
// the member table.
#include <climits>
#include <type_traits>

#include "archive/archive_plugin.h"
#include "archive/member_table.h"
#include "support/result_block.h"

namespace archive {

namespace {

constexpr std::uint32_t kProbeSize = 2048;

// The white space that strtol skips before a number (the C locale's).
template <class Char>
bool IsBlank(Char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Turns a member name into a member index, as strtol reads a decimal number
// (leading white space and a sign allowed, clamped to the 32-bit range), less
// one. False if there is no number or anything follows it. Only ASCII blanks,
// signs and digits count, in single-byte and in UTF-16 names alike.
template <class Char>
bool ParseMemberName(const Char* name, std::int64_t* index) {
  const Char* c = name;
  while (IsBlank(*c)) ++c;
  const bool negative = *c == '-';
  if (*c == '-' || *c == '+') ++c;
  if (!(*c >= '0' && *c <= '9')) return false;
  std::int64_t value = 0;
  for (; *c >= '0' && *c <= '9'; ++c) {
    // Past 2^31 the value is clamped anyway; stop growing so it cannot overflow.
    if (value <= INT32_MAX) value = value * 10 + (*c - '0');
  }
  if (*c != 0) return false;
  if (negative) value = -value;
  if (value > INT32_MAX) value = INT32_MAX;
  if (value < INT32_MIN) value = INT32_MIN;
  *index = value - 1;
  return true;
}

}  // namespace

bool MemberIndexOfName(const char* name, std::uint32_t member_count, std::uint32_t* index) {
  std::int64_t parsed = 0;
  if (!ParseMemberName(name, &parsed) || parsed < 0 || parsed >= member_count) return false;
  *index = static_cast<std::uint32_t>(parsed);
  return true;
}

namespace {

template <class Record>
constexpr TextKind kNamesOf =
    std::is_same_v<Record, WideMemberRecord> ? TextKind::Wide : TextKind::Ansi;

template <class Record>
std::int32_t ListArchive(const Platform& os, const void* source, HostInt length_or_offset,
                         std::uint32_t flags, MemoryHandle* info_slot) {
  // Null before anything else: after any failure the host finds no block.
  *info_slot = nullptr;
  InputSource input;
  MemberTable table{};
  void* block = nullptr;
  if (OpenSource(input, os, source, length_or_offset, flags, kNamesOf<Record>) &&
      ReadMemberTable(input, &table)) {
    // M records and the end record; the table's limit keeps this within 32 bits.
    if (AllocResultBlock(input, info_slot, &block,
                         (table.word_count - 1) * static_cast<std::uint32_t>(sizeof(Record)))) {
      const NameFormat format = MemberNameFormat(MemberCount(table));
      auto* record = static_cast<Record*>(block);
      for (std::uint32_t k = 0; k < MemberCount(table); ++k) {
        WriteMemberRecord(table, k, format, record);
        // Members of 0 or 1 bytes are overwritten by the next one: they are
        // not listed, and the names of those listed keep their numbers.
        if (record->stored_size > 1) ++record;
      }
      record->method[0] = '\0';  // the end record: this byte alone marks it
      HandOverResultBlock(os, *info_slot);
    }
    ReleaseMemberTable(os, &table);
  }
  CloseSource(input);
  return input.status;
}

template <class Char, class Record>
std::int32_t DescribeMember(const Platform& os, const void* source, HostInt length_or_offset,
                            const Char* file_name, std::uint32_t flags, Record* record_out) {
  InputSource input;
  MemberTable table{};
  std::uint8_t first12[12];
  std::int64_t index = -1;
  if (OpenSource(input, os, source, length_or_offset, flags, kNamesOf<Record>) &&
      ReadSource(input, first12, sizeof first12)) {
    const std::uint32_t table_size = LoadLe32(first12 + 4);
    if (!TableHeaderValid(LoadLe32(first12), table_size)) {
      RecordStatus(input, UnsupportedFormat);
    } else if (!ParseMemberName(file_name, &index) || index < 0 || index >= table_size / 4 - 2) {
      // The name is judged before the rest of the table is read.
      RecordStatus(input, ReadError);
    } else if (ReadRestOfMemberTable(input, first12, &table)) {
      const NameFormat format = MemberNameFormat(MemberCount(table));
      WriteMemberRecord(table, static_cast<std::uint32_t>(index), format, record_out);
      ReleaseMemberTable(os, &table);
    }
  }
  CloseSource(input);
  return input.status;
}

}  // namespace

std::int32_t IsSupported(const Platform& os, const char* file_name, std::uintptr_t probe_word) {
  InputSource input;
  std::uint32_t words[kProbeSize / 4];
  bool supported =
      OpenProbe(input, os, file_name, probe_word) && ReadSource(input, words, sizeof words);
  CloseSource(input);
  if (!supported) return 0;
  for (std::uint32_t& word : words) word = LoadLe32(reinterpret_cast<const std::uint8_t*>(&word));
  if (!TableHeaderValid(words[0], words[1])) return 0;
  // Only the boundaries within the probe's 2048 bytes are compared.
  const std::uint32_t seen = words[1] < kProbeSize ? words[1] : kProbeSize;
  return BoundariesIncrease(words, 1, seen / 4 - 2) ? 1 : 0;
}

std::int32_t GetArchiveInfo(const Platform& os, const void* source, HostInt length_or_offset,
                            std::uint32_t flags, MemoryHandle* info_slot) {
  return ListArchive<ArchiveMemberRecord>(os, source, length_or_offset, flags, info_slot);
}

std::int32_t GetArchiveInfoW(const Platform& os, const void* source, HostInt length_or_offset,
                             std::uint32_t flags, MemoryHandle* info_slot) {
  return ListArchive<WideMemberRecord>(os, source, length_or_offset, flags, info_slot);
}

std::int32_t GetFileInfo(const Platform& os, const void* source, HostInt length_or_offset,
                         const char* file_name, std::uint32_t flags,
                         ArchiveMemberRecord* record_out) {
  return DescribeMember(os, source, length_or_offset, file_name, flags, record_out);
}

std::int32_t GetFileInfoW(const Platform& os, const void* source, HostInt length_or_offset,
                          const WideChar* file_name, std::uint32_t flags,
                          WideMemberRecord* record_out) {
  return DescribeMember(os, source, length_or_offset, file_name, flags, record_out);
}

}  // namespace archive
