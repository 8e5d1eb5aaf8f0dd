// This file contains the NSC member table; the format is described in
// member_table.h.
#include "archive/member_table.h"

#include <cstdio>
#include <cstring>

#include "support/result_block.h"

bool TableHeaderValid(std::uint32_t magic, std::uint32_t table_size) {
  return magic == kNscMagic && table_size > 12 && table_size % 4 == 0 &&
         table_size <= kLargestTable;
}

bool BoundariesIncrease(const std::uint32_t* words, std::uint32_t first, std::uint32_t last) {
  for (std::uint32_t i = first; i < last; ++i) {
    if (words[i + 1] <= words[i]) return false;
  }
  return true;
}

bool ReadMemberTable(InputSource& input, MemberTable* table) {
  std::uint8_t first12[12];
  if (!ReadSource(input, first12, sizeof first12)) return false;
  if (!TableHeaderValid(LoadLe32(first12), LoadLe32(first12 + 4))) {
    RecordStatus(input, UnsupportedFormat);
    return false;
  }
  return ReadRestOfMemberTable(input, first12, table);
}

bool ReadRestOfMemberTable(InputSource& input, const std::uint8_t first12[12], MemberTable* table) {
  // The header check has bounded H, so the scratch block is small enough to
  // ask for and every index below stays inside it.
  const std::uint32_t size = LoadLe32(first12 + 4);
  void* scratch = nullptr;
  if (!AllocResultBlock(input, &table->scratch, &scratch, size)) return false;
  auto* bytes = static_cast<std::uint8_t*>(scratch);
  std::memcpy(bytes, first12, 12);
  bool ok = ReadSource(input, bytes + 12, size - 12);
  if (ok) {
    // The words are stored little-endian; put them in the host's order in place.
    auto* words = static_cast<std::uint32_t*>(scratch);
    for (std::uint32_t i = 0; i < size / 4; ++i) words[i] = LoadLe32(bytes + 4 * i);
    table->words = words;
    table->word_count = size / 4;
    ok =
        TableHeaderValid(words[0], words[1]) && BoundariesIncrease(words, 1, table->word_count - 2);
    if (!ok) RecordStatus(input, UnsupportedFormat);
  }
  if (!ok) ReleaseMemberTable(*input.os, table);
  return ok;
}

void ReleaseMemberTable(const Platform& os, MemberTable* table) {
  if (table->scratch != nullptr) FreeResultBlock(os, &table->scratch);
  table->words = nullptr;
  table->word_count = 0;
}

NameFormat MemberNameFormat(std::uint32_t member_count) {
  int digits = 0;
  for (std::uint32_t n = member_count; n != 0; n /= 10) ++digits;
  NameFormat format;
  std::snprintf(format.text, sizeof format.text, "%%0%dd", digits);
  return format;
}

void FormatMemberName(const NameFormat& format, std::uint32_t number, char* name) {
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif
  std::snprintf(name, 200, format.text, static_cast<int>(number));
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
}

namespace {

// Copies a member name, ASCII digits and its terminator, into a record's text.
void CopyName(const char* name, char* out) {
  while ((*out++ = *name++) != '\0') {
  }
}
void CopyName(const char* name, WideChar* out) {
  while ((*out++ = static_cast<unsigned char>(*name++)) != 0) {
  }
}

template <class Record>
void WriteRecord(const MemberTable& table, std::uint32_t k, const NameFormat& format,
                 Record* record) {
  record->method[0] = ' ';
  record->method[1] = '\0';
  record->position = MemberStart(table, k);
  record->stored_size = MemberSize(table, k);
  record->original_size = record->stored_size;
  record->timestamp = 0;
  record->path[0] = 0;
  char name[200];
  FormatMemberName(format, k + 1, name);
  CopyName(name, record->file_name);
  record->crc = 0;
#if UINTPTR_MAX > 0xFFFFFFFFu
  record->padding = 0;
#endif
}

}  // namespace

void WriteMemberRecord(const MemberTable& table, std::uint32_t k, const NameFormat& format,
                       ArchiveMemberRecord* record) {
  WriteRecord(table, k, format, record);
}

void WriteMemberRecord(const MemberTable& table, std::uint32_t k, const NameFormat& format,
                       WideMemberRecord* record) {
  WriteRecord(table, k, format, record);
}
