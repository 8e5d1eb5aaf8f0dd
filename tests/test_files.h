// This file contains small helpers for tests that work with real files (a
// fresh temporary folder per test, whole-file reads and writes) and with the
// blocks the plug-ins hand over.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/host_contract.h"

using Bytes = std::vector<std::uint8_t>;

// A folder of its own under the system's temporary folder, removed at the end.
struct TempDir {
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  // The path of `name` inside the folder, as the system spells paths.
  std::string File(const std::string& name) const;
  std::filesystem::path path;
};

inline Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

void WriteFile(const std::string& path, const Bytes& bytes);
Bytes ReadWholeFile(const std::string& path);
bool FileExists(const std::string& path);

// Copies a block the plug-in handed over, checking that it was left unlocked,
// and frees it as the host does.
Bytes TakeBlock(MemoryHandle block);
