// This file contains the input source through which every export reads its
// data, whether they lie in a file opened by name, in a file handle lent by the
// host, or in a block of host memory.
//
// The input source is also the call's one error channel: the first failing
// step records a StatusCode in `status` (and the system's error code in
// `os_error` where a system call failed), and the export returns `status`.
#pragma once

#include <cstdint>

#include "support/host_contract.h"
#include "support/platform.h"

// The farthest a file is positioned: the 32-bit edition positions with a
// signed 32-bit distance, the 64-bit edition with a signed 64-bit one.
constexpr std::uint64_t kLargestFilePosition = kIs64BitEdition ? 0x7FFFFFFFFFFFFFFFu : 0x7FFFFFFFu;

struct InputSource {
  StatusCode status;          // the failure recorded; Ok after opening
  std::uint32_t os_error;     // the system's error code of that failure, or 0
  const std::uint8_t* cur;    // memory mode: next byte to read
  const std::uint8_t* base;   // memory mode: first byte of the data
  const std::uint8_t* end;    // memory mode: one past the last byte
  FileHandle handle;          // the open file; kInvalidHandle in memory mode or when closed
  std::uint64_t base_offset;  // file mode: where the data begin in the file
  bool borrowed;              // `handle` is the host's (lent to IsSupported)
  const Platform* os;         // the platform every call goes through
};

// Records a failure of a system call: `status` and the system's last error.
void RecordOsFailure(InputSource& input, StatusCode status);
// Records a failure found by the plug-in itself; `os_error` stays as it was.
inline void RecordStatus(InputSource& input, StatusCode status) { input.status = status; }

// Opens the data of a reading export. With memory input (flags & 7 == 1),
// `source` is the block and `length_or_offset` its size; it always succeeds.
// A negative size, or one that would carry the block's end past the top of
// the address space, is read as an empty block, so no byte outside the
// host's block is ever read. Otherwise `source` is a file name, single-byte
// or UTF-16 as `names` says, and `length_or_offset` the signed offset at which
// the data begin; an open or positioning failure records ReadError.
bool OpenSource(InputSource& input, const Platform& os, const void* source,
                HostInt length_or_offset, std::uint32_t flags, TextKind names = TextKind::Ansi);

// Opens the probe of IsSupported. A probe word with any of bits 16 and up set
// is the address of the host's 2048-byte head block; otherwise it is an open
// file handle of the host's, read from its current position and put back
// there by CloseSource. `file_name` is not used.
bool OpenProbe(InputSource& input, const Platform& os, const char* file_name,
               std::uintptr_t probe_word);

// Reads `count` bytes. Bytes past the end of the data read as zeros; only a
// failing file read fails (ReadError).
bool ReadSource(InputSource& input, void* destination, std::uint32_t count);

// As ReadSource, but says in *got how many bytes of data arrived (fewer than
// `count` only at the end of the data) and leaves the rest of the
// destination as it was: for callers that must tell data from the zeros past
// its end, or whose destination holds zeros already.
bool ReadSourceUpTo(InputSource& input, void* destination, std::uint32_t count,
                    std::uint32_t* got);

// Positions at `offset` bytes past the start of the data. A file target
// beyond kLargestFilePosition records ReadError (with ERROR_NEGATIVE_SEEK, as
// the system refuses a target it would read as negative); in memory, a target
// at or past the end records MemoryError and leaves the position as it was.
bool SeekFromBase(InputSource& input, std::uint32_t offset);

// As SeekFromBase, but a file is positioned from its first byte, not from the
// data's start.
bool SeekAbsolute(InputSource& input, std::uint32_t offset);

// Closes what OpenSource or OpenProbe opened: a lent handle is put back at its
// former position and left open; an owned file is closed. Safe to call on a
// source that failed to open.
void CloseSource(InputSource& input);
