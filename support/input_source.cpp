// This file contains the input source and the result blocks.
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
  input.borrowed = 0;
  input.os = &os;
}

void StartMemory(InputSource& input, const void* block, std::uint32_t size) {
  input.base = static_cast<const std::uint8_t*>(block);
  input.cur = input.base;
  input.end = input.base + size;
}

bool InMemory(const InputSource& input) { return input.handle == kInvalidHandle; }

// Positions the file at `target` from its first byte. Positions are signed
// 32-bit distances with no high word: a target beyond 2^31 - 1 would be taken
// as negative, so it is refused here the way the system refuses a negative one.
bool PositionFile(InputSource& input, std::uint64_t target) {
  if (target > 0x7FFFFFFFu) {
    RecordStatus(input, ReadError);
    input.os_error = kErrorNegativeSeek;
    return false;
  }
  if (OsSetFilePointer(*input.os, input.handle, static_cast<std::int32_t>(target), kFileBegin) ==
      kInvalidSetFilePointer) {
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
                std::int32_t length_or_offset, std::uint32_t flags) {
  Reset(input, os);
  if (IsMemoryInput(flags)) {
    StartMemory(input, source, static_cast<std::uint32_t>(length_or_offset));
    return true;
  }
  FileHandle file =
      OsCreateFile(os, static_cast<const char*>(source), kGenericRead, kShareRead, kOpenExisting);
  if (file == kInvalidHandle) {
    RecordOsFailure(input, ReadError);
    return false;
  }
  // A negative offset is passed on as it is: the system refuses to position
  // before the start of a file, and the open fails with ReadError.
  if (length_or_offset != 0 &&
      OsSetFilePointer(os, file, length_or_offset, kFileBegin) == kInvalidSetFilePointer) {
    RecordOsFailure(input, ReadError);
    OsCloseHandle(os, file);
    return false;
  }
  input.handle = file;
  input.base_offset = static_cast<std::uint32_t>(length_or_offset);
  return true;
}

bool OpenProbe(InputSource& input, const Platform& os, const char* file_name,
               std::uintptr_t probe_word) {
  (void)file_name;
  Reset(input, os);
  if ((probe_word >> 16) != 0) {
    StartMemory(input, reinterpret_cast<const void*>(probe_word), 2048);
    return true;
  }
  auto lent = reinterpret_cast<FileHandle>(probe_word);
  std::uint32_t position = OsSetFilePointer(os, lent, 0, kFileCurrent);
  if (position == kInvalidSetFilePointer) {
    RecordOsFailure(input, ReadError);
    return false;
  }
  input.handle = lent;
  input.base_offset = position;
  input.borrowed = 1;
  return true;
}

bool ReadSource(InputSource& input, void* destination, std::uint32_t count) {
  auto* out = static_cast<std::uint8_t*>(destination);
  std::uint32_t got = 0;
  if (InMemory(input)) {
    auto left = static_cast<std::uint64_t>(input.end - input.cur);
    got = left < count ? static_cast<std::uint32_t>(left) : count;
    if (got != 0) std::memcpy(out, input.cur, got);
    input.cur += got;
  } else if (!OsReadFile(*input.os, input.handle, out, count, &got)) {
    RecordOsFailure(input, ReadError);
    return false;
  }
  if (got < count) std::memset(out + got, 0, count - got);
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
      OsSetFilePointer(*input.os, input.handle, static_cast<std::int32_t>(input.base_offset),
                       kFileBegin);
    } else {
      OsCloseHandle(*input.os, input.handle);
    }
  }
  input.handle = kInvalidHandle;
  input.base_offset = 0;
  input.borrowed = 0;
}

bool AllocResultBlock(InputSource& input, MemoryHandle* slot, void** pointer_out,
                      std::uint32_t size) {
  *slot = nullptr;
  *pointer_out = nullptr;
  *slot = OsLocalAlloc(*input.os, kLocalMoveable, size);
  if (*slot == nullptr) {
    RecordOsFailure(input, NoMemory);
    return false;
  }
  // A movable block of 0 bytes is created discarded: locking it fails here.
  *pointer_out = OsLocalLock(*input.os, *slot);
  if (*pointer_out == nullptr) {
    RecordOsFailure(input, MemoryError);
    OsLocalFree(*input.os, *slot);
    *slot = nullptr;
    return false;
  }
  return true;
}

void FreeResultBlock(const Platform& os, MemoryHandle* slot) {
  OsLocalUnlock(os, *slot);
  OsLocalFree(os, *slot);
  *slot = nullptr;
}

void HandOverResultBlock(const Platform& os, MemoryHandle block) { OsLocalUnlock(os, block); }
