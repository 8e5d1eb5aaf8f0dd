// This file contains the operations of the archive plug-in, vizuz. Each takes
// the platform it works through first; the library's exports pass the
// system's, tests pass one that can fail on purpose. Otherwise they are the
// host's calls exactly, with the same arguments and results.
#pragma once

#include <cstdint>

#include "archive/member_table.h"
#include "support/host_contract.h"
#include "support/platform.h"
#include "support/plugin_info.h"

namespace archive {

// Kind code, name, and the NSC pattern with its description.
extern const PluginInfoTable kInfoTable;

// 1 when the probe (the host's 2048-byte head block, or its open file handle,
// see OpenProbe) begins with a valid NSC table; only the boundaries within
// the first 2048 bytes are compared. 0 on any failure. A lent handle is left
// at the position it had.
std::int32_t IsSupported(const Platform& os, const char* file_name, std::uintptr_t probe_word);

// Lists the archive: one result block of records (ArchiveMemberRecord), one
// per member of more than 1 byte, then an end record whose first byte is 0.
// *info_slot is set to null first; the block goes there and belongs to the
// host on success (Ok). Otherwise *info_slot is null and the result is
// UnsupportedFormat (a table check failed, or the table is larger than
// kLargestTable), NoMemory or MemoryError (the block or the table's scratch
// block), or ReadError.
std::int32_t GetArchiveInfo(const Platform& os, const void* source, HostInt length_or_offset,
                            std::uint32_t flags, MemoryHandle* info_slot);
// The same with a UTF-16 file name and a block of WideMemberRecords.
std::int32_t GetArchiveInfoW(const Platform& os, const void* source, HostInt length_or_offset,
                             std::uint32_t flags, MemoryHandle* info_slot);

// The index of the member that `name` names as GetFileInfo reads names (its
// number, as strtol reads decimals, less one), if it is below member_count.
bool MemberIndexOfName(const char* name, std::uint32_t member_count, std::uint32_t* index);

// Describes the member named `file_name` (its number, read as strtol reads
// decimals: ASCII blanks, a sign and ASCII digits) at *record_out. Returns Ok;
// ReadError when the name names no member (judged after the first 12 bytes,
// before the rest of the table) or on a read failure; UnsupportedFormat when
// a table check fails; NoMemory or MemoryError for the table's scratch block.
// The record is written only on success.
std::int32_t GetFileInfo(const Platform& os, const void* source, HostInt length_or_offset,
                         const char* file_name, std::uint32_t flags,
                         ArchiveMemberRecord* record_out);
// The same with a UTF-16 file name and member name, and a WideMemberRecord.
// Any character beyond ASCII in the member name names no member (ReadError).
std::int32_t GetFileInfoW(const Platform& os, const void* source, HostInt length_or_offset,
                          const WideChar* file_name, std::uint32_t flags,
                          WideMemberRecord* record_out);

// Copies one member out. With file input, position_or_length is the member's
// start as GetArchiveInfo lists it, in an archive at the file's first byte
// (the whole word is compared with the starts); with memory input the whole
// block is the member, named "noname" (a block of 4 GiB or more is refused
// with 4 before anything is allocated). Output kind 0x100: the copy is a
// result block whose handle goes to the HLOCAL at `dest`, owned by the host.
// Output kind 0x000: the copy is written to the file DEST\NAME (NAME alone
// when DEST is empty), which then holds exactly the member. Progress:
// (i, chunks) before each of up to 32 chunks, then (chunks, chunks) and
// (0, 32). Returns Ok; OutputError for another output kind (nothing done), a path over
// 259 characters, or a file that cannot be created or fully written (it is
// left empty); ReadError for a read failure or a position that starts no
// member; UnsupportedFormat, NoMemory, MemoryError and Cancelled as usual.
// Nothing is held after a failure.
std::int32_t GetFile(const Platform& os, const void* source, HostInt position_or_length, void* dest,
                     std::uint32_t flags, ProgressCallback progress, HostInt user_data);
// The same with a UTF-16 file name and a UTF-16 DEST, whose output path may
// hold up to kWidePathUnits - 1 units (longer ones are refused with OutputError and
// nothing is created).
std::int32_t GetFileW(const Platform& os, const void* source, HostInt position_or_length,
                      void* dest, std::uint32_t flags, ProgressCallback progress,
                      HostInt user_data);

// The output path areas of GetFile, in characters with the terminator: the
// single-byte one of the host interface, and the wide one, long enough for
// deep folders with long names in any script.
constexpr std::size_t kAnsiPathUnits = 260;
constexpr std::size_t kWidePathUnits = 4096;

}  // namespace archive
