// This file contains the platform layer: the only way the plug-ins reach the
// operating system. It is a table of the few Windows kernel functions the code
// needs, filled by the real Win32 functions (Windows build), by a small POSIX
// stand-in that behaves as they do (native build), or by a wrapper that makes
// any call fail on purpose and counts what is still outstanding (tests).
//
// Every function receives the table's `context` first, so that a wrapper can
// keep its own state per table instead of in globals. The system tables have
// no context.
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/host_contract.h"

// Windows constants the code passes to the platform, with their Win32 values.
constexpr std::uint32_t kGenericRead = 0x80000000u;
constexpr std::uint32_t kGenericWrite = 0x40000000u;
constexpr std::uint32_t kShareNone = 0;
constexpr std::uint32_t kShareRead = 0x1;
constexpr std::uint32_t kOpenExisting = 3;
constexpr std::uint32_t kOpenAlways = 4;
constexpr std::uint32_t kFileBegin = 0;
constexpr std::uint32_t kFileCurrent = 1;
constexpr std::uint32_t kLocalMoveable = 0x0002;
constexpr std::uint32_t kLocalZeroInit = 0x0040;

// Windows error codes that the POSIX stand-in and the tests use.
constexpr std::uint32_t kErrorSuccess = 0;
constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorPathNotFound = 3;
constexpr std::uint32_t kErrorTooManyOpenFiles = 4;
constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorInvalidHandle = 6;
constexpr std::uint32_t kErrorNotEnoughMemory = 8;
constexpr std::uint32_t kErrorWriteFault = 29;
constexpr std::uint32_t kErrorReadFault = 30;
constexpr std::uint32_t kErrorSharingViolation = 32;
constexpr std::uint32_t kErrorFileExists = 80;
constexpr std::uint32_t kErrorInvalidParameter = 87;
constexpr std::uint32_t kErrorDiskFull = 112;
constexpr std::uint32_t kErrorInvalidName = 123;
constexpr std::uint32_t kErrorNegativeSeek = 131;
constexpr std::uint32_t kErrorDiscarded = 157;
constexpr std::uint32_t kErrorNotLocked = 158;
constexpr std::uint32_t kErrorFilenameTooLong = 206;

struct Platform {
  void* context;
  // CreateFileA with no security attributes, no flags and no template.
  FileHandle (*create_file)(void* context, const char* name, std::uint32_t access,
                            std::uint32_t share, std::uint32_t disposition);
  // CreateFileW: the same, with a NUL-terminated UTF-16 name.
  FileHandle (*create_file_wide)(void* context, const WideChar* name, std::uint32_t access,
                                 std::uint32_t share, std::uint32_t disposition);
  // ReadFile: true on success, *done = bytes read (fewer only at end of file).
  bool (*read_file)(void* context, FileHandle file, void* buffer, std::uint32_t count,
                    std::uint32_t* done);
  // WriteFile: true on success, *done = bytes written.
  bool (*write_file)(void* context, FileHandle file, const void* buffer, std::uint32_t count,
                     std::uint32_t* done);
  // SetFilePointerEx: moves by a signed 64-bit distance from the start
  // (kFileBegin) or the current position (kFileCurrent); true on success,
  // with the new position in *position (which may be null). A target before
  // the start of the file fails with ERROR_NEGATIVE_SEEK.
  bool (*set_file_pointer)(void* context, FileHandle file, std::int64_t distance,
                           std::uint32_t method, std::uint64_t* position);
  // SetEndOfFile: the file ends at its current position.
  bool (*set_end_of_file)(void* context, FileHandle file);
  bool (*close_handle)(void* context, FileHandle file);
  std::uint32_t (*get_last_error)(void* context);
  // LocalAlloc, LocalLock, LocalUnlock, LocalFree.
  MemoryHandle (*local_alloc)(void* context, std::uint32_t flags, std::uint32_t size);
  void* (*local_lock)(void* context, MemoryHandle block);
  bool (*local_unlock)(void* context, MemoryHandle block);
  MemoryHandle (*local_free)(void* context, MemoryHandle block);
  // LocalSize: the block's size in bytes, 0 for a bad handle.
  std::uint32_t (*local_size)(void* context, MemoryHandle block);
};

// The operating system's own functions: Win32 on Windows, the POSIX stand-in elsewhere.
const Platform& SystemPlatform();

// Short forms, so that callers read like the Win32 calls they stand for.
inline FileHandle OsCreateFile(const Platform& os, const char* name, std::uint32_t access,
                               std::uint32_t share, std::uint32_t disposition) {
  return os.create_file(os.context, name, access, share, disposition);
}
inline FileHandle OsCreateFileWide(const Platform& os, const WideChar* name, std::uint32_t access,
                                   std::uint32_t share, std::uint32_t disposition) {
  return os.create_file_wide(os.context, name, access, share, disposition);
}
inline bool OsReadFile(const Platform& os, FileHandle file, void* buffer, std::uint32_t count,
                       std::uint32_t* done) {
  return os.read_file(os.context, file, buffer, count, done);
}
inline bool OsWriteFile(const Platform& os, FileHandle file, const void* buffer,
                        std::uint32_t count, std::uint32_t* done) {
  return os.write_file(os.context, file, buffer, count, done);
}
inline bool OsSetFilePointer(const Platform& os, FileHandle file, std::int64_t distance,
                             std::uint32_t method, std::uint64_t* position = nullptr) {
  return os.set_file_pointer(os.context, file, distance, method, position);
}
inline bool OsSetEndOfFile(const Platform& os, FileHandle file) {
  return os.set_end_of_file(os.context, file);
}
inline bool OsCloseHandle(const Platform& os, FileHandle file) {
  return os.close_handle(os.context, file);
}
inline std::uint32_t OsGetLastError(const Platform& os) { return os.get_last_error(os.context); }
inline MemoryHandle OsLocalAlloc(const Platform& os, std::uint32_t flags, std::uint32_t size) {
  return os.local_alloc(os.context, flags, size);
}
inline void* OsLocalLock(const Platform& os, MemoryHandle block) {
  return os.local_lock(os.context, block);
}
inline bool OsLocalUnlock(const Platform& os, MemoryHandle block) {
  return os.local_unlock(os.context, block);
}
inline MemoryHandle OsLocalFree(const Platform& os, MemoryHandle block) {
  return os.local_free(os.context, block);
}
inline std::uint32_t OsLocalSize(const Platform& os, MemoryHandle block) {
  return os.local_size(os.context, block);
}
