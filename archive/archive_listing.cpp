// This file contains the archive plug-in's listing: IsSupported,
// GetArchiveInfo and GetFileInfo. They read only the member table.
#include <climits>
#include <cstdlib>

#include "archive/archive_plugin.h"
#include "archive/member_table.h"

namespace archive {

namespace {

constexpr std::uint32_t kProbeSize = 2048;

// Turns a member name into a member index, as strtol reads a decimal number
// (leading white space and a sign allowed, clamped to the 32-bit range), less
// one. False if anything follows the number.
bool ParseMemberName(const char* name, std::int64_t* index) {
  char* end = nullptr;
  long value = std::strtol(name, &end, 10);
  if (*end != '\0') return false;
  if (value > INT32_MAX) value = INT32_MAX;
  if (value < INT32_MIN) value = INT32_MIN;
  *index = static_cast<std::int64_t>(value) - 1;
  return true;
}

}  // namespace

std::int32_t IsSupported(const Platform& os, const char* file_name, std::uintptr_t probe_word) {
  InputSource input;
  std::uint32_t words[kProbeSize / 4];
  bool supported =
      OpenProbe(input, os, file_name, probe_word) && ReadSource(input, words, sizeof words);
  CloseSource(input);
  if (!supported) return 0;
  for (std::uint32_t& word : words) word = WordAt(reinterpret_cast<const std::uint8_t*>(&word));
  if (!TableHeaderValid(words[0], words[1])) return 0;
  // Only the boundaries within the probe's 2048 bytes are compared.
  const std::uint32_t seen = words[1] < kProbeSize ? words[1] : kProbeSize;
  return BoundariesIncrease(words, 1, seen / 4 - 2) ? 1 : 0;
}

std::int32_t GetArchiveInfo(const Platform& os, const void* source, std::int32_t length_or_offset,
                            std::uint32_t flags, MemoryHandle* info_slot) {
  InputSource input;
  MemberTable table{};
  void* block = nullptr;
  if (OpenSource(input, os, source, length_or_offset, flags) && ReadMemberTable(input, &table)) {
    // M records and the end record; the table's limit keeps this within 32 bits.
    if (AllocResultBlock(input, info_slot, &block, (table.word_count - 1) * kMemberRecordSize)) {
      const NameFormat format = MemberNameFormat(MemberCount(table));
      auto* record = static_cast<ArchiveMemberRecord*>(block);
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

std::int32_t GetFileInfo(const Platform& os, const void* source, std::int32_t length_or_offset,
                         const char* file_name, std::uint32_t flags,
                         ArchiveMemberRecord* record_out) {
  InputSource input;
  MemberTable table{};
  std::uint8_t first12[12];
  std::int64_t index = -1;
  if (OpenSource(input, os, source, length_or_offset, flags) &&
      ReadSource(input, first12, sizeof first12)) {
    const std::uint32_t table_size = WordAt(first12 + 4);
    if (!TableHeaderValid(WordAt(first12), table_size)) {
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

}  // namespace archive
