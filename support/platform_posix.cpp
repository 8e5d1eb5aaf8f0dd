// This file contains the POSIX stand-in for the Win32 functions of the platform
// layer, so that the plug-in logic builds and runs on Linux. It reproduces the
// behaviour the plug-ins rely on, not the whole of Win32:
// - names may use '\' as a separator; reading opens share the file, a write
//   open with OPEN_ALWAYS creates the file or opens it without truncating;
// - UTF-16 names (CreateFileW) are opened under their UTF-8 spelling; a name
//   with a lone surrogate, which UTF-8 cannot spell, fails with
//   ERROR_INVALID_NAME;
// - reads return fewer bytes only at end of file;
// - positioning takes a signed 64-bit distance; a target before the start of
//   the file fails with ERROR_NEGATIVE_SEEK and leaves the position, as on
//   Windows;
// - movable blocks carry a lock count; a block of 0 bytes is created discarded
//   and cannot be locked; a block larger than a 32-bit process could ever get
//   (2 GiB or more) is refused, so that behaviour matches the 32-bit plug-ins;
// - the last error is a Windows error code, kept per thread as Windows does.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/platform.h"
#include "support/text_encoding.h"

namespace {

// The operating system's per-thread last error, as GetLastError reports it.
thread_local std::uint32_t t_last_error = 0;

std::uint32_t WindowsError(int error) {
  switch (error) {
    case 0: return kErrorSuccess;
    case ENOENT: return kErrorFileNotFound;
    case ENOTDIR: return kErrorPathNotFound;
    case EMFILE:
    case ENFILE: return kErrorTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: return kErrorAccessDenied;
    case EBADF: return kErrorInvalidHandle;
    case ENOMEM: return kErrorNotEnoughMemory;
    case ENOSPC:
    case EDQUOT: return kErrorDiskFull;
    case EEXIST: return kErrorFileExists;
    case ENAMETOOLONG: return kErrorFilenameTooLong;
    case EIO: return kErrorReadFault;
    default: return kErrorInvalidParameter;
  }
}

// Windows tells a missing file (2) from a missing folder on the way (3).
std::uint32_t OpenError(const std::string& path, int error) {
  if (error != ENOENT) return WindowsError(error);
  std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return kErrorFileNotFound;
  struct stat info {};
  bool folder = stat(path.substr(0, slash).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
  return folder ? kErrorFileNotFound : kErrorPathNotFound;
}

bool Fail(std::uint32_t error) {
  t_last_error = error;
  return false;
}

// Handles are file descriptors plus one, so that no valid handle is null.
int Descriptor(FileHandle file) {
  auto value = reinterpret_cast<std::intptr_t>(file);
  return value > 0 && value <= 0x10000 ? static_cast<int>(value - 1) : -1;
}

FileHandle CreateFileEntry(void*, const char* name, std::uint32_t access, std::uint32_t share,
                           std::uint32_t disposition) {
  (void)share;  // POSIX has no share modes; nothing here relies on exclusion
  std::string path = name;
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  int mode = (access & kGenericWrite) ? ((access & kGenericRead) ? O_RDWR : O_WRONLY) : O_RDONLY;
  if (disposition == kOpenAlways) {
    mode |= O_CREAT;
  } else if (disposition != kOpenExisting) {
    Fail(kErrorInvalidParameter);
    return kInvalidHandle;
  }
  int fd = path.empty() ? -1 : open(path.c_str(), mode | O_CLOEXEC, 0666);
  if (path.empty()) errno = ENOENT;
  if (fd < 0) {
    Fail(OpenError(path, errno));
    return kInvalidHandle;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    close(fd);
    Fail(kErrorAccessDenied);
    return kInvalidHandle;
  }
  if (fd >= 0xFFFF) {
    close(fd);
    Fail(kErrorTooManyOpenFiles);
    return kInvalidHandle;
  }
  t_last_error = kErrorSuccess;
  return reinterpret_cast<FileHandle>(static_cast<std::intptr_t>(fd) + 1);
}

FileHandle CreateFileWideEntry(void* context, const WideChar* name, std::uint32_t access,
                               std::uint32_t share, std::uint32_t disposition) {
  std::string spelled;
  if (!Utf8FromUtf16(std::u16string_view(name, WideLength(name)), &spelled)) {
    Fail(kErrorInvalidName);
    return kInvalidHandle;
  }
  return CreateFileEntry(context, spelled.c_str(), access, share, disposition);
}

bool ReadFileEntry(void*, FileHandle file, void* buffer, std::uint32_t count, std::uint32_t* done) {
  *done = 0;
  int fd = Descriptor(file);
  if (fd < 0) return Fail(kErrorInvalidHandle);
  auto* out = static_cast<unsigned char*>(buffer);
  while (*done < count) {
    ssize_t got = read(fd, out + *done, count - *done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return Fail(WindowsError(errno));
    if (got == 0) break;  // end of file
    *done += static_cast<std::uint32_t>(got);
  }
  return true;
}

bool WriteFileEntry(void*, FileHandle file, const void* buffer, std::uint32_t count,
                    std::uint32_t* done) {
  *done = 0;
  int fd = Descriptor(file);
  if (fd < 0) return Fail(kErrorInvalidHandle);
  const auto* in = static_cast<const unsigned char*>(buffer);
  while (*done < count) {
    ssize_t put = write(fd, in + *done, count - *done);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return Fail(WindowsError(errno));
    *done += static_cast<std::uint32_t>(put);
  }
  return true;
}

bool SetFilePointerEntry(void*, FileHandle file, std::int64_t distance, std::uint32_t method,
                         std::uint64_t* position) {
  int fd = Descriptor(file);
  if (fd < 0) return Fail(kErrorInvalidHandle);
  off_t start = 0;
  if (method == kFileCurrent) {
    start = lseek(fd, 0, SEEK_CUR);
    if (start < 0) return Fail(WindowsError(errno));
  } else if (method != kFileBegin) {
    return Fail(kErrorInvalidParameter);
  }
  if (distance < 0 ? start < -distance : distance > INT64_MAX - start)
    return Fail(distance < 0 ? kErrorNegativeSeek : kErrorInvalidParameter);
  const off_t target = start + distance;
  if (lseek(fd, target, SEEK_SET) < 0) return Fail(WindowsError(errno));
  t_last_error = kErrorSuccess;
  if (position != nullptr) *position = static_cast<std::uint64_t>(target);
  return true;
}

bool SetEndOfFileEntry(void*, FileHandle file) {
  int fd = Descriptor(file);
  if (fd < 0) return Fail(kErrorInvalidHandle);
  off_t here = lseek(fd, 0, SEEK_CUR);
  if (here < 0 || ftruncate(fd, here) != 0) return Fail(WindowsError(errno));
  return true;
}

bool CloseHandleEntry(void*, FileHandle file) {
  // All bits set is also Windows' handle of the current process, which
  // CloseHandle accepts and leaves alone.
  if (file == kInvalidHandle) return true;
  int fd = Descriptor(file);
  if (fd < 0 || close(fd) != 0) return Fail(kErrorInvalidHandle);
  return true;
}

std::uint32_t GetLastErrorEntry(void*) { return t_last_error; }

// A movable block: the handle points at this record, the data lie behind it.
struct MovableBlock {
  std::uint32_t tag;
  std::uint32_t size;
  std::uint32_t lock_count;
  bool discarded;
  alignas(16) unsigned char data[1];
};
constexpr std::uint32_t kBlockTag = 0x4B4C424Du;  // "MBLK"

MovableBlock* Block(MemoryHandle handle) {
  auto* block = static_cast<MovableBlock*>(handle);
  return block != nullptr && block->tag == kBlockTag ? block : nullptr;
}

MemoryHandle LocalAllocEntry(void*, std::uint32_t flags, std::uint32_t size) {
  if ((flags & kLocalMoveable) == 0) return Fail(kErrorInvalidParameter), nullptr;
  // Any size the system can supply, as on 64-bit Windows (a 32-bit process
  // cannot have the record and the data beyond the top of its addresses).
  const std::size_t room = offsetof(MovableBlock, data);
  if (std::uint64_t{size} > std::uint64_t{SIZE_MAX} - room) return Fail(kErrorNotEnoughMemory), nullptr;
  const std::size_t bytes = room + (size == 0 ? 1 : size);
  // calloc takes a large block as fresh pages, already zero.
  void* memory = (flags & kLocalZeroInit) != 0 ? std::calloc(1, bytes) : std::malloc(bytes);
  if (memory == nullptr) return Fail(kErrorNotEnoughMemory), nullptr;
  auto* block = static_cast<MovableBlock*>(memory);
  block->tag = kBlockTag;
  block->size = size;
  block->lock_count = 0;
  block->discarded = size == 0;
  return block;
}

void* LocalLockEntry(void*, MemoryHandle handle) {
  MovableBlock* block = Block(handle);
  if (block == nullptr) return Fail(kErrorInvalidHandle), nullptr;
  if (block->discarded) return Fail(kErrorDiscarded), nullptr;
  ++block->lock_count;
  return block->data;
}

bool LocalUnlockEntry(void*, MemoryHandle handle) {
  MovableBlock* block = Block(handle);
  if (block == nullptr) return Fail(kErrorInvalidHandle);
  if (block->lock_count == 0) return Fail(kErrorNotLocked);
  --block->lock_count;
  t_last_error = kErrorSuccess;
  return block->lock_count != 0;  // as LocalUnlock: nonzero while still locked
}

MemoryHandle LocalFreeEntry(void*, MemoryHandle handle) {
  MovableBlock* block = Block(handle);
  if (block == nullptr) return Fail(kErrorInvalidHandle), handle;
  block->tag = 0;
  std::free(block);
  return nullptr;
}

std::uint32_t LocalSizeEntry(void*, MemoryHandle handle) {
  MovableBlock* block = Block(handle);
  if (block == nullptr) return Fail(kErrorInvalidHandle), 0;
  return block->size;
}

constexpr Platform kPosix = {
    nullptr,           CreateFileEntry,     CreateFileWideEntry, ReadFileEntry,
    WriteFileEntry,    SetFilePointerEntry, SetEndOfFileEntry,   CloseHandleEntry,
    GetLastErrorEntry, LocalAllocEntry,     LocalLockEntry,      LocalUnlockEntry,
    LocalFreeEntry,    LocalSizeEntry,
};

}  // namespace

const Platform& SystemPlatform() { return kPosix; }
