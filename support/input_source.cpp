// This file contains the input source.
#include "support/input_source.h"

#include <cstring>

namespace {

void Reset(InputSource& input, const Platform& os) {
  input.status = Ok;
  input.os_error = 0;
  input.cur = nullptr;
  input.base = nullptr;
  input.end = nullptr;
  input.handle = kInvalidHandle;
  input.base_offset = 0;
  input.borrowed = false;
  input.os = &os;
}

void StartMemory(InputSource& input, const void* block, HostInt size) {
  const auto start = reinterpret_cast<std::uintptr_t>(block);
  // A negative size, or an end past the top of the address space, cannot
  // describe a block the host holds: it is read as an empty one.
  const bool readable = size >= 0 && static_cast<std::uintptr_t>(size) <= UINTPTR_MAX - start;
  input.base = static_cast<const std::uint8_t*>(block);
  input.cur = input.base;
  input.end = readable ? input.base + size : input.base;
}

bool InMemory(const InputSource& input) { return input.handle == kInvalidHandle; }

// Positions the file at `target` from its first byte. A target beyond the
// edition's signed distance would be taken as negative, so it is refused here
// the way the system refuses a negative one.
bool PositionFile(InputSource& input, std::uint64_t target) {
  if (target > kLargestFilePosition) {
    RecordStatus(input, ReadError);
    input.os_error = kErrorNegativeSeek;
    return false;
  }
  if (!OsSetFilePointer(*input.os, input.handle, static_cast<std::int64_t>(target), kFileBegin)) {
    RecordOsFailure(input, ReadError);
    return false;
  }
  return true;
}

bool SeekMemory(InputSource& input, std::uint32_t offset) {
  if (offset >= static_cast<std::uint64_t>(input.end - input.base)) {
    RecordStatus(input, MemoryError);
    input.os_error = 0;
    return false;
  }
  input.cur = input.base + offset;
  return true;
}

}  // namespace

void RecordOsFailure(InputSource& input, StatusCode status) {
  input.status = status;
  input.os_error = OsGetLastError(*input.os);
}

bool OpenSource(InputSource& input, const Platform& os, const void* source,
                HostInt length_or_offset, std::uint32_t flags, TextKind names) {
  Reset(input, os);
  if (IsMemoryInput(flags)) {
    StartMemory(input, source, length_or_offset);
    return true;
  }
  FileHandle file = names == TextKind::Wide
                        ? OsCreateFileWide(os, static_cast<const WideChar*>(source), kGenericRead,
                                           kShareRead, kOpenExisting)
                        : OsCreateFile(os, static_cast<const char*>(source), kGenericRead,
                                       kShareRead, kOpenExisting);
  if (file == kInvalidHandle) {
    RecordOsFailure(input, ReadError);
    return false;
  }
  // A negative offset is passed on as it is: the system refuses to position
  // before the start of a file, and the open fails with ReadError.
  if (length_or_offset != 0 && !OsSetFilePointer(os, file, length_or_offset, kFileBegin)) {
    RecordOsFailure(input, ReadError);
    OsCloseHandle(os, file);
    return false;
  }
  input.handle = file;
  input.base_offset = static_cast<std::uint64_t>(length_or_offset);
  return true;
}

bool OpenProbe(InputSource& input, const Platform& os, const char* file_name,
               std::uintptr_t probe_word) {
  (void)file_name;
  Reset(input, os);
  // The whole word is compared: in the 64-bit edition an address whose low
  // 32 bits are zero is still an address.
  if (probe_word > 0xFFFFu) {
    StartMemory(input, reinterpret_cast<const void*>(probe_word), 2048);
    return true;
  }
  auto lent = reinterpret_cast<FileHandle>(probe_word);
  std::uint64_t position = 0;
  if (!OsSetFilePointer(os, lent, 0, kFileCurrent, &position)) {
    RecordOsFailure(input, ReadError);
    return false;
  }
  // The 32-bit edition learns the position as one 32-bit word, all bits set
  // meaning failure: a handle at or beyond that cannot be probed.
  if (!kIs64BitEdition && position >= 0xFFFFFFFFu) {
    RecordStatus(input, ReadError);
    input.os_error = kErrorInvalidParameter;
    return false;
  }
  input.handle = lent;
  input.base_offset = position;
  input.borrowed = true;
  return true;
}

bool ReadSourceUpTo(InputSource& input, void* destination, std::uint32_t count,
                    std::uint32_t* got) {
  auto* out = static_cast<std::uint8_t*>(destination);
  *got = 0;
  if (InMemory(input)) {
    auto left = static_cast<std::uint64_t>(input.end - input.cur);
    *got = left < count ? static_cast<std::uint32_t>(left) : count;
    if (*got != 0) std::memcpy(out, input.cur, *got);
    input.cur += *got;
  } else if (!OsReadFile(*input.os, input.handle, out, count, got)) {
    *got = 0;
    RecordOsFailure(input, ReadError);
    return false;
  }
  return true;
}

bool ReadSource(InputSource& input, void* destination, std::uint32_t count) {
  std::uint32_t got = 0;
  if (!ReadSourceUpTo(input, destination, count, &got)) return false;
  if (got < count) std::memset(static_cast<std::uint8_t*>(destination) + got, 0, count - got);
  return true;
}

bool SeekFromBase(InputSource& input, std::uint32_t offset) {
  if (InMemory(input)) return SeekMemory(input, offset);
  return PositionFile(input, std::uint64_t{offset} + input.base_offset);
}

bool SeekAbsolute(InputSource& input, std::uint32_t offset) {
  if (InMemory(input)) return SeekMemory(input, offset);
  return PositionFile(input, offset);
}

void CloseSource(InputSource& input) {
  if (input.handle != kInvalidHandle) {
    if (input.borrowed) {
      // The host's handle goes back to where the host left it. IsSupported,
      // the only caller, has no status to report a failure in.
      OsSetFilePointer(*input.os, input.handle, static_cast<std::int64_t>(input.base_offset),
                       kFileBegin);
    } else {
      OsCloseHandle(*input.os, input.handle);
    }
  }
  input.handle = kInvalidHandle;
  input.base_offset = 0;
  input.borrowed = false;
}
