// This file contains what every export of both plug-ins shares with the host:
// the calling convention, the flag word, the status codes, the progress
// callback and the handles through which memory blocks pass to the host.
//
// There are two editions of the interface, built from the same sources:
// - the 32-bit edition (.spi), for 32-bit hosts: every argument is a 32-bit
//   word and the exports use the standard convention in which the callee
//   removes its arguments; file positions are signed 32-bit distances;
// - the 64-bit edition (.sph), for 64-bit hosts: offsets, lengths, the
//   probe word and user_data are pointer-wide, the size fields of the host
//   records are 8 bytes, and file positions are 64-bit.
// The native build is a 64-bit program and follows the 64-bit edition.
//
// Every export also has a wide-character twin (its name ending in W) that
// takes its texts as NUL-terminated UTF-16 and is otherwise the same.
#pragma once

#include <cstdint>

#if defined(_WIN32) && defined(__i386__)
#define SPI_CALL __stdcall
#else
#define SPI_CALL
#endif

// True in the 64-bit edition.
constexpr bool kIs64BitEdition = sizeof(void*) == 8;

// Pointer-wide words of the interface: HostInt for length_or_offset,
// position_or_length and user_data (signed), HostWord for the probe word
// and the size fields of the host records (unsigned).
using HostInt = std::intptr_t;
using HostWord = std::uintptr_t;

// One UTF-16 unit of the wide-character exports' texts (the host's wchar_t).
using WideChar = char16_t;

// How the host spells the texts of a call: single-byte characters, or UTF-16.
enum class TextKind : std::uint8_t { Ansi, Wide };

// A file handle and a movable local-memory handle, as the host sees them.
using FileHandle = void*;
using MemoryHandle = void*;

// All bits set: no file open (CreateFileA's failure value).
inline FileHandle const kInvalidHandle = reinterpret_cast<FileHandle>(~std::uintptr_t{0});

// Result of every export except GetPluginInfo and IsSupported. 7 is never used.
enum StatusCode : std::int32_t {
  Ok = 0,
  NotImplemented = -1,
  Cancelled = 1,
  UnsupportedFormat = 2,
  BrokenData = 3,
  NoMemory = 4,
  MemoryError = 5,
  ReadError = 6,
  OutputError = 8,
};

// The flag word. Bits 0-2 choose the input kind, bits 8-10 GetFile's output
// kind; every other bit is ignored.
constexpr std::uint32_t kInputKindMask = 0x7;
constexpr std::uint32_t kInputMemory = 0x1;  // any other input kind means a file
constexpr std::uint32_t kOutputKindMask = 0x700;
constexpr std::uint32_t kOutputFile = 0x000;
constexpr std::uint32_t kOutputMemory = 0x100;

inline bool IsMemoryInput(std::uint32_t flags) { return (flags & kInputKindMask) == kInputMemory; }

// Called by GetFile and GetPicture with (num, denom, user_data); a nonzero
// result asks the plug-in to stop and return Cancelled. A null callback means
// no progress calls at all.
using ProgressCallback = std::int32_t(SPI_CALL*)(std::int32_t num, std::int32_t denom,
                                                 HostInt user_data);

// Asks for progress (num, denom); true when the host wants the work to stop.
inline bool ProgressSaysStop(ProgressCallback progress, std::int32_t num, std::int32_t denom,
                             HostInt user_data) {
  return progress != nullptr && progress(num, denom, user_data) != 0;
}
