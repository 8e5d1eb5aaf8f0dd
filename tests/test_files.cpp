// This file contains the file helpers of the tests.
#include "tests/test_files.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>

#include "support/platform.h"
#include "support/text_encoding.h"

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::random_device seed;
  for (;;) {
    path = fs::temp_directory_path() / ("spi-test-" + std::to_string(seed()));
    if (fs::create_directory(path)) break;
  }
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path, ignored);
}

std::string TempDir::File(const std::string& name) const { return (path / name).string(); }

void WriteFile(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadWholeFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FileExists(const fs::path& path) { return fs::exists(path); }

void WriteSparseFile(const fs::path& path, std::uint64_t size,
                     const std::vector<FilePiece>& pieces) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).close();
  fs::resize_file(path, size);  // a hole: no blocks are written
  std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
  for (const FilePiece& piece : pieces) {
    out.seekp(static_cast<std::streamoff>(piece.offset));
    out.write(reinterpret_cast<const char*>(piece.bytes.data()),
              static_cast<std::streamsize>(piece.bytes.size()));
  }
  EXPECT_TRUE(out.good()) << "cannot write " << path;
}

std::u16string Widen(const std::string& utf8) {
  std::u16string wide;
  EXPECT_TRUE(Utf16FromUtf8(utf8, &wide)) << utf8;
  return wide;
}

std::string Narrow(std::u16string_view utf16) {
  std::string text;
  EXPECT_TRUE(Utf8FromUtf16(utf16, &text));
  return text;
}

std::uint64_t FilePosition(FileHandle file) {
  std::uint64_t position = ~std::uint64_t{0};
  OsSetFilePointer(SystemPlatform(), file, 0, kFileCurrent, &position);
  return position;
}

Bytes TakeBlock(MemoryHandle block) {
  const Platform& os = SystemPlatform();
  const auto* data = static_cast<const std::uint8_t*>(OsLocalLock(os, block));
  EXPECT_NE(data, nullptr);
  if (data == nullptr) return {};
  Bytes bytes(data, data + OsLocalSize(os, block));
  EXPECT_FALSE(OsLocalUnlock(os, block)) << "the block was handed over still locked";
  EXPECT_EQ(OsLocalFree(os, block), nullptr);
  return bytes;
}

namespace {

PluginHost LoadOrAbort() {
  PluginHost host{};
  std::string error;
  if (!LoadPlugins("", &host, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    std::abort();
  }
  return host;
}

}  // namespace

const PluginHost& ProgramPlugins() {
  static const PluginHost host = LoadOrAbort();
  return host;
}

const PictureApi& Picture() { return ProgramPlugins().picture; }
const ArchiveApi& Archive() { return ProgramPlugins().archive; }
