// This file contains the NSC member table, how members are numbered and
// named, and the record in which a member is described to the host.
//
// An NSC archive is a table of little-endian 32-bit words followed by the
// members' bytes, stored as they are:
//
//   word      value
//   W[0]      0x4643534E, the bytes "NSCF"
//   W[1]      H, the table's size in bytes (N = H / 4 words); also where
//             member 0 begins, right after the table
//   W[2..N-1] member boundaries: member k occupies archive bytes W[k+1] up
//             to, not including, W[k+2]
//
// There are M = N - 2 members; member k's size is W[k+2] - W[k+1], modulo
// 2^32. Offsets count from the archive's first byte.
//
// Header check: W[0] is the magic, H is greater than 12 and a multiple of 4,
// and H is at most kLargestTable (the plug-in's own limit). Order check:
// W[1] < W[2] < ... < W[N-2], unsigned; the last boundary W[N-1] is not
// compared, so the last member's size may wrap.
//
// Members have no names in the archive: member k is number k + 1, named by
// that number in decimal, zero-padded to as many digits as M has (for
// M = 150: 001 to 150).
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/byte_order.h"
#include "support/input_source.h"

constexpr std::uint32_t kNscMagic = 0x4643534Eu;  // "NSCF"
// The largest table read: 16 MiB, over four million members, far beyond any
// real archive. It keeps the record block of GetArchiveInfo within 32 bits.
constexpr std::uint32_t kLargestTable = 16u << 20;
// The records in which members are described to the host, packed. The
// 32-bit edition's size fields are 4 bytes; the 64-bit edition's are 8
// (the 32-bit values zero-extended), and its records end in 4 bytes of
// padding, written as zero. The wide record spells path and file_name in
// UTF-16.
//
//   ArchiveMemberRecord   32-bit (428)   64-bit (448)
//   WideMemberRecord      32-bit (828)   64-bit (848)
//   field                 offset         offset
//   method[8]             0              0
//   position              8              8
//   stored_size           12             16
//   original_size         16             24
//   timestamp             20             32
//   path[200]             24             40
//   file_name[200]        224 / 424      240 / 440
//   crc (4 bytes)         424 / 824      440 / 840
//   padding (4 bytes)     -              444 / 844
#pragma pack(push, 1)
struct ArchiveMemberRecord {
  char method[8];
  HostWord position;
  HostWord stored_size;
  HostWord original_size;
  HostWord timestamp;
  char path[200];
  char file_name[200];
  std::uint32_t crc;
#if UINTPTR_MAX > 0xFFFFFFFFu
  std::uint32_t padding;
#endif
};
struct WideMemberRecord {
  char method[8];
  HostWord position;
  HostWord stored_size;
  HostWord original_size;
  HostWord timestamp;
  WideChar path[200];
  WideChar file_name[200];
  std::uint32_t crc;
#if UINTPTR_MAX > 0xFFFFFFFFu
  std::uint32_t padding;
#endif
};
#pragma pack(pop)
constexpr std::uint32_t kMemberRecordSize = kIs64BitEdition ? 448 : 428;
constexpr std::uint32_t kWideMemberRecordSize = kIs64BitEdition ? 848 : 828;
static_assert(sizeof(ArchiveMemberRecord) == kMemberRecordSize);
static_assert(sizeof(WideMemberRecord) == kWideMemberRecordSize);
static_assert(offsetof(ArchiveMemberRecord, position) == 8);
static_assert(offsetof(WideMemberRecord, position) == 8);
#if UINTPTR_MAX > 0xFFFFFFFFu
static_assert(offsetof(ArchiveMemberRecord, stored_size) == 16);
static_assert(offsetof(ArchiveMemberRecord, original_size) == 24);
static_assert(offsetof(ArchiveMemberRecord, timestamp) == 32);
static_assert(offsetof(ArchiveMemberRecord, path) == 40);
static_assert(offsetof(ArchiveMemberRecord, file_name) == 240);
static_assert(offsetof(ArchiveMemberRecord, crc) == 440);
static_assert(offsetof(ArchiveMemberRecord, padding) == 444);
static_assert(offsetof(WideMemberRecord, stored_size) == 16);
static_assert(offsetof(WideMemberRecord, original_size) == 24);
static_assert(offsetof(WideMemberRecord, timestamp) == 32);
static_assert(offsetof(WideMemberRecord, path) == 40);
static_assert(offsetof(WideMemberRecord, file_name) == 440);
static_assert(offsetof(WideMemberRecord, crc) == 840);
static_assert(offsetof(WideMemberRecord, padding) == 844);
#else
static_assert(offsetof(ArchiveMemberRecord, stored_size) == 12);
static_assert(offsetof(ArchiveMemberRecord, original_size) == 16);
static_assert(offsetof(ArchiveMemberRecord, timestamp) == 20);
static_assert(offsetof(ArchiveMemberRecord, path) == 24);
static_assert(offsetof(ArchiveMemberRecord, file_name) == 224);
static_assert(offsetof(ArchiveMemberRecord, crc) == 424);
static_assert(offsetof(WideMemberRecord, stored_size) == 12);
static_assert(offsetof(WideMemberRecord, original_size) == 16);
static_assert(offsetof(WideMemberRecord, timestamp) == 20);
static_assert(offsetof(WideMemberRecord, path) == 24);
static_assert(offsetof(WideMemberRecord, file_name) == 424);
static_assert(offsetof(WideMemberRecord, crc) == 824);
#endif
// The table's limit keeps GetArchiveInfo's block of (N - 1) records within 32 bits.
static_assert(std::uint64_t{kLargestTable / 4 - 1} * kWideMemberRecordSize <= 0xFFFFFFFFu);

// The table read whole into a scratch block of the call's own.
struct MemberTable {
  MemoryHandle scratch;        // the block holding the words; null when none
  const std::uint32_t* words;  // W[0] .. W[N-1]
  std::uint32_t word_count;    // N
};

// The header check on W[0] and W[1].
bool TableHeaderValid(std::uint32_t magic, std::uint32_t table_size);
// The order check on W[first] < W[first+1] < ... < W[last], unsigned.
bool BoundariesIncrease(const std::uint32_t* words, std::uint32_t first, std::uint32_t last);

// Reads the table from the source's current position: the first 12 bytes,
// the header check, a scratch block of H bytes, the rest of the table, both
// checks. A failed check records UnsupportedFormat; a failed read ReadError;
// the scratch block NoMemory or MemoryError. On failure nothing is held.
bool ReadMemberTable(InputSource& input, MemberTable* table);
// As ReadMemberTable, after the first 12 bytes have already been read and
// passed the header check.
bool ReadRestOfMemberTable(InputSource& input, const std::uint8_t first12[12], MemberTable* table);
void ReleaseMemberTable(const Platform& os, MemberTable* table);

inline std::uint32_t MemberCount(const MemberTable& t) { return t.word_count - 2; }
inline std::uint32_t MemberStart(const MemberTable& t, std::uint32_t k) { return t.words[k + 1]; }
inline std::uint32_t MemberSize(const MemberTable& t, std::uint32_t k) {
  return t.words[k + 2] - t.words[k + 1];
}

// The printf format of member names for an archive of `member_count`
// members, made in two steps as "%%0%dd" applied to the digit count: "%03d"
// for 150 members.
struct NameFormat {
  char text[16];
};
NameFormat MemberNameFormat(std::uint32_t member_count);
// Writes member `number`'s name into `name` (room for 200 bytes).
void FormatMemberName(const NameFormat& format, std::uint32_t number, char* name);

// Writes the record of member k at `record`: method " ", position, both
// sizes, timestamp 0, an empty path, the name, crc 0, and zero padding. The
// bytes after the texts' terminators are left as they were.
void WriteMemberRecord(const MemberTable& table, std::uint32_t k, const NameFormat& format,
                       ArchiveMemberRecord* record);
// The same record with its texts in UTF-16.
void WriteMemberRecord(const MemberTable& table, std::uint32_t k, const NameFormat& format,
                       WideMemberRecord* record);
