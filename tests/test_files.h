// This file contains small helpers for tests that work with real files (a
// fresh temporary folder per test, whole-file reads and writes) and with the
// blocks the plug-ins hand over.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "support/host_contract.h"
#include "plugin_host/plugin_host.h"

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

void WriteFile(const std::filesystem::path& path, const Bytes& bytes);
Bytes ReadWholeFile(const std::filesystem::path& path);
bool FileExists(const std::filesystem::path& path);

// A file of `size` bytes that holds each piece at its offset and zeros
// elsewhere, written sparsely so that a file of several GiB takes little room.
struct FilePiece {
  std::uint64_t offset;
  Bytes bytes;
};
void WriteSparseFile(const std::filesystem::path& path, std::uint64_t size,
                     const std::vector<FilePiece>& pieces);

// UTF-8 to UTF-16 and back, for the W exports' texts.
std::u16string Widen(const std::string& utf8);
std::string Narrow(std::u16string_view utf16);

// A path as the W exports take it.
inline std::u16string WidePath(const std::filesystem::path& path) { return path.u16string(); }

// The current position of an open file (all bits set if it cannot be had).
std::uint64_t FilePosition(FileHandle file);

// The plug-ins of the program's own folder (natively: the linked code),
// loaded once; aborts with a message if they cannot be loaded.
const PluginHost& ProgramPlugins();
const PictureApi& Picture();
const ArchiveApi& Archive();

// Copies a block the plug-in handed over, checking that it was left unlocked,
// and frees it as the host does.
Bytes TakeBlock(MemoryHandle block);
