// This file contains the reading of a GCmpSH0 picture from a byte stream: a
// platform whose one file is the stream lets the plug-ins' input source and
// decoder read it as they read a file.
#include "wic/stream_picture.h"

#include <algorithm>

#include "picture/picture_rows.h"
#include "support/platform.h"

namespace {

// The stream as the platform's one open file; positions count from `start`.
struct StreamFile {
  const ByteStream* stream;
  std::uint64_t start;
  std::uint64_t position;
  std::uint32_t error;
};

// A stream may give fewer bytes than asked before its end (one that arrives
// over a network, say); a file gives fewer only at its end, which is what the
// decoder takes a short read for. So the stream is read until the count is
// met or a read gives nothing. False when a read fails.
bool ReadUpTo(const ByteStream& stream, void* buffer, std::uint32_t count, std::uint32_t* done) {
  *done = 0;
  for (std::uint32_t got = 1; *done < count && got != 0; *done += got) {
    got = 0;
    if (!stream.read(stream.context, static_cast<std::uint8_t*>(buffer) + *done, count - *done,
                     &got) ||
        got > count - *done)
      return false;
  }
  return true;
}

bool ReadStream(void* context, FileHandle, void* buffer, std::uint32_t count, std::uint32_t* done) {
  auto& file = *static_cast<StreamFile*>(context);
  if (!ReadUpTo(*file.stream, buffer, count, done)) {
    *done = 0;
    file.error = kErrorReadFault;
    return false;
  }
  file.position += *done;
  return true;
}

bool SeekStream(void* context, FileHandle, std::int64_t distance, std::uint32_t method,
                std::uint64_t* position) {
  auto& file = *static_cast<StreamFile*>(context);
  const std::int64_t from = method == kFileBegin ? 0 : static_cast<std::int64_t>(file.position);
  if (distance < -from) {
    file.error = kErrorNegativeSeek;
    return false;
  }
  const std::uint64_t target = static_cast<std::uint64_t>(from + distance);
  if (!file.stream->seek(file.stream->context, file.start + target)) {
    file.error = kErrorReadFault;
    return false;
  }
  file.position = target;
  if (position != nullptr) *position = target;
  return true;
}

// The decoder only reads and positions; the rest of the table answers as a
// file opened for reading would.
Platform StreamPlatform(StreamFile* file) {
  Platform os{};
  os.context = file;
  os.create_file = [](void* context, const char*, std::uint32_t, std::uint32_t, std::uint32_t) {
    static_cast<StreamFile*>(context)->error = kErrorAccessDenied;
    return kInvalidHandle;
  };
  os.create_file_wide = [](void* context, const WideChar*, std::uint32_t, std::uint32_t,
                           std::uint32_t) {
    static_cast<StreamFile*>(context)->error = kErrorAccessDenied;
    return kInvalidHandle;
  };
  os.read_file = ReadStream;
  os.write_file = [](void* context, FileHandle, const void*, std::uint32_t, std::uint32_t* done) {
    *done = 0;
    static_cast<StreamFile*>(context)->error = kErrorAccessDenied;
    return false;
  };
  os.set_file_pointer = SeekStream;
  os.set_end_of_file = [](void* context, FileHandle) {
    static_cast<StreamFile*>(context)->error = kErrorAccessDenied;
    return false;
  };
  os.close_handle = [](void*, FileHandle) { return true; };
  os.get_last_error = [](void* context) { return static_cast<StreamFile*>(context)->error; };
  os.local_alloc = [](void* context, std::uint32_t, std::uint32_t) {
    static_cast<StreamFile*>(context)->error = kErrorNotEnoughMemory;
    return MemoryHandle{};
  };
  os.local_lock = [](void*, MemoryHandle) -> void* { return nullptr; };
  os.local_unlock = [](void*, MemoryHandle) { return false; };
  os.local_free = [](void*, MemoryHandle block) { return block; };
  os.local_size = [](void*, MemoryHandle) { return std::uint32_t{0}; };
  return os;
}

// An input source reading the stream from `start`, as a file lent by a host.
InputSource StreamSource(const Platform& os) {
  InputSource input{};
  input.status = Ok;
  input.handle = reinterpret_cast<FileHandle>(std::uintptr_t{1});
  input.borrowed = true;
  input.os = &os;
  return input;
}

}  // namespace

StatusCode ReadStreamHeader(const ByteStream& stream, std::uint64_t start, PictureHeader* header,
                            bool* signature) {
  std::uint8_t bytes[kPictureHeaderSize] = {};
  std::uint32_t got = 0;
  *signature = false;
  if (!stream.seek(stream.context, start)) return ReadError;
  // A short stream is read to its end: what it lacks is no header.
  if (!ReadUpTo(stream, bytes, sizeof bytes, &got)) return ReadError;
  *signature = got >= 8 && std::equal(bytes, bytes + 8, "GCmpSH0");
  return got == sizeof bytes && ParsePictureHeader(bytes, header) ? Ok : UnsupportedFormat;
}

StatusCode DecodeStreamPicture(const ByteStream& stream, std::uint64_t start, std::int32_t width,
                               std::int32_t height, std::uint8_t* out, std::ptrdiff_t stride,
                               bool* truncated) {
  StreamFile file{&stream, start, 0, 0};
  const Platform os = StreamPlatform(&file);
  InputSource input = StreamSource(os);
  if (!SeekFromBase(input, 0)) return input.status;
  return DecodeScaledPicture(input, width, height, out, stride, truncated);
}
