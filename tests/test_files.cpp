// This file contains the file helpers of the tests.
#include "tests/test_files.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <random>

#include "support/platform.h"

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

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& path) { return fs::exists(path); }

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
