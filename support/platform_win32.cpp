// This file contains the Windows back end of the platform layer: each entry
// is the Win32 function of the same name, called as it is.
#include <windows.h>

#include "support/platform.h"

namespace {

FileHandle CreateFileEntry(void*, const char* name, std::uint32_t access, std::uint32_t share,
                           std::uint32_t disposition) {
  return CreateFileA(name, access, share, nullptr, disposition, 0, nullptr);
}

FileHandle CreateFileWideEntry(void*, const WideChar* name, std::uint32_t access,
                               std::uint32_t share, std::uint32_t disposition) {
  return CreateFileW(reinterpret_cast<const wchar_t*>(name), access, share, nullptr, disposition, 0,
                     nullptr);
}

bool ReadFileEntry(void*, FileHandle file, void* buffer, std::uint32_t count, std::uint32_t* done) {
  DWORD got = 0;
  BOOL ok = ReadFile(file, buffer, count, &got, nullptr);
  *done = got;
  return ok != FALSE;
}

bool WriteFileEntry(void*, FileHandle file, const void* buffer, std::uint32_t count,
                    std::uint32_t* done) {
  DWORD put = 0;
  BOOL ok = WriteFile(file, buffer, count, &put, nullptr);
  *done = put;
  return ok != FALSE;
}

bool SetFilePointerEntry(void*, FileHandle file, std::int64_t distance, std::uint32_t method,
                         std::uint64_t* position) {
  LARGE_INTEGER move;
  move.QuadPart = distance;
  LARGE_INTEGER now;
  now.QuadPart = 0;
  BOOL ok = SetFilePointerEx(file, move, &now, method);
  if (ok != FALSE && position != nullptr) *position = static_cast<std::uint64_t>(now.QuadPart);
  return ok != FALSE;
}

bool SetEndOfFileEntry(void*, FileHandle file) { return SetEndOfFile(file) != FALSE; }

bool CloseHandleEntry(void*, FileHandle file) { return CloseHandle(file) != FALSE; }

std::uint32_t GetLastErrorEntry(void*) { return GetLastError(); }

MemoryHandle LocalAllocEntry(void*, std::uint32_t flags, std::uint32_t size) {
  return LocalAlloc(flags, size);
}

void* LocalLockEntry(void*, MemoryHandle block) { return LocalLock(block); }

bool LocalUnlockEntry(void*, MemoryHandle block) { return LocalUnlock(block) != FALSE; }

MemoryHandle LocalFreeEntry(void*, MemoryHandle block) { return LocalFree(block); }

std::uint32_t LocalSizeEntry(void*, MemoryHandle block) {
  return static_cast<std::uint32_t>(LocalSize(block));
}

constexpr Platform kWin32 = {
    nullptr,           CreateFileEntry,     CreateFileWideEntry, ReadFileEntry,
    WriteFileEntry,    SetFilePointerEntry, SetEndOfFileEntry,   CloseHandleEntry,
    GetLastErrorEntry, LocalAllocEntry,     LocalLockEntry,      LocalUnlockEntry,
    LocalFreeEntry,    LocalSizeEntry,
};

}  // namespace

const Platform& SystemPlatform() { return kWin32; }
