// Fuzz target: a GCmpSH0 picture read from a byte stream, as the Windows
// imaging decoder reads an IStream: reads that return fewer bytes than asked
// (a size taken from the input), a read that fails at a chosen call, data
// that begin past the stream's start. Decoded at full size, the picture has
// GetPicture's status and pixels (its DIB's rows upside down); at a smaller
// size the status is the same. Nothing is read outside the data.
#include "fuzz/fuzz_support.h"
#include "picture/picture_plugin.h"
#include "wic/stream_picture.h"

namespace {

struct MemoryStream {
  const std::uint8_t* data;
  std::uint64_t size;
  std::uint64_t at;
  std::uint32_t piece;    // the most bytes one read gives (0: all asked)
  std::uint32_t fail_at;  // the read that fails, counted from 1 (0: none)
  std::uint32_t reads;
};

bool Read(void* context, void* buffer, std::uint32_t count, std::uint32_t* done) {
  auto& s = *static_cast<MemoryStream*>(context);
  if (++s.reads == s.fail_at) return false;
  std::uint64_t n = s.at < s.size ? s.size - s.at : 0;
  if (n > count) n = count;
  if (s.piece != 0 && n > s.piece) n = s.piece;
  std::memcpy(buffer, s.data + s.at, n);
  s.at += n;
  *done = static_cast<std::uint32_t>(n);
  return true;
}

bool Seek(void* context, std::uint64_t position) {
  static_cast<MemoryStream*>(context)->at = position;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* raw, std::size_t raw_size) {
  const FuzzInput in = SplitInput(raw, raw_size);
  GuardedBytes data(in.data, in.size);
  // The picture starts `start` bytes into the stream (a few bytes of the
  // data's own, when the choice says so).
  const std::uint64_t start = in.choice & 1 ? (in.word >> 16) % 8 : 0;
  if (start > data.size) return 0;
  MemoryStream memory{
      data.data, data.size, 0, in.word & 0xFF, in.choice & 2 ? (in.word >> 8) % 16 : 0, 0};
  const ByteStream stream{&memory, Read, Seek};
  PictureHeader header{};
  bool signature = false;
  const StatusCode read = ReadStreamHeader(stream, start, &header, &signature);
  FUZZ_CHECK(read == Ok || read == UnsupportedFormat || (read == ReadError && memory.fail_at != 0));
  if (read != Ok) return 0;
  const std::uint64_t pixels = std::uint64_t{static_cast<std::uint32_t>(header.width)} *
                               static_cast<std::uint32_t>(header.height);
  if (pixels > (1 << 20)) return 0;  // large pictures find nothing small ones do not

  // What a host gets from the same bytes.
  const Platform& os = SystemPlatform();
  MemoryHandle info = nullptr, bits = nullptr;
  const std::int32_t expected = picture::GetPicture(
      os, data.data + start, static_cast<HostInt>(data.size - start), 1, &info, &bits, nullptr, 0);

  memory.reads = 0;
  const std::size_t row = 3 * static_cast<std::size_t>(header.width);
  std::vector<std::uint8_t> out(row * header.height);
  bool truncated = false;
  const StatusCode full =
      DecodeStreamPicture(stream, start, header.width, header.height, out.data(),
                          static_cast<std::ptrdiff_t>(row), &truncated);
  const bool failed_read = memory.fail_at != 0 && memory.reads >= memory.fail_at;
  FUZZ_CHECK(full == expected || (full == ReadError && failed_read));
  if (full == Ok && expected == Ok) {
    const auto* dib = static_cast<const std::uint8_t*>(OsLocalLock(os, bits));
    const std::size_t stride = (row + 3) & ~std::size_t{3};
    for (std::int32_t y = 0; y < header.height; ++y)
      FUZZ_CHECK(std::memcmp(out.data() + row * y, dib + stride * (header.height - 1 - y), row) ==
                 0);
    OsLocalUnlock(os, bits);
  }
  if (info != nullptr) OsLocalFree(os, info);
  if (bits != nullptr) OsLocalFree(os, bits);

  if (memory.fail_at == 0) {
    const std::int32_t width = header.width / 3 + 1, height = header.height / 5 + 1;
    std::vector<std::uint8_t> small(3 * static_cast<std::size_t>(width) * height);
    const StatusCode scaled =
        DecodeStreamPicture(stream, start, width, height, small.data(), 3 * width, &truncated);
    FUZZ_CHECK(scaled == full);
  }
  return 0;
}
