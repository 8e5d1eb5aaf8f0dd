// A host that calls every export that reads data on each file of a folder,
// from memory and from the file, and prints what it received: every status,
// the values of every record (the defined bytes), and a digest of every
// block and extracted member. The same program is built natively and for
// Windows, so that scripts/compare_builds.sh can hold the builds to the same
// output on the same inputs.
//
// Usage: host_dump FOLDER          prints the results for every file in it
//        host_dump --hostile FOLDER writes a set of malformed inputs into it
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/test_files.h"
#include "plugin_host/plugin_calls.h"
#include "writers/gcmp_writer.h"
#include "writers/nsc_writer.h"

namespace {

namespace fs = std::filesystem;

// FNV-1a, 64 bits: a digest to compare blocks by.
std::uint64_t Digest(const Bytes& bytes) {
  std::uint64_t hash = 0xCBF29CE484222325u;
  for (std::uint8_t b : bytes) hash = (hash ^ b) * 0x100000001B3u;
  return hash;
}

// An input as a host hands it over: the file by name (flags 0), or its bytes
// as a memory block (flags 1).
struct HostInput {
  const void* source;
  HostInt length;
  std::uint32_t flags;
};

HostInput InMemory(const Bytes& data) {
  return HostInput{data.data(), static_cast<HostInt>(data.size()), 1};
}

HostInput InFile(const std::string& name) { return HostInput{name.c_str(), 0, 0}; }

void DumpPicture(const Bytes& data, const std::string& name) {
  const PictureApi& p = Picture();
  Bytes head = data;
  head.resize(2048);
  std::printf("  picture IsSupported %d\n",
              p.IsSupported("x", reinterpret_cast<std::uintptr_t>(head.data())));
  for (const HostInput& input : {InMemory(data), InFile(name)}) {
    const bool from_file = input.flags == 0;
    const void* source = input.source;
    const HostInt length = input.length;
    const std::uint32_t flags = input.flags;
    PictureInfoRecord record{};
    const std::int32_t status = p.GetPictureInfo(source, length, flags, &record);
    std::printf("  GetPictureInfo(%s) %d", from_file ? "file" : "memory", status);
    if (status == 0)
      std::printf(" %d %d %d %d %u %u %d %llu", record.left, record.top, record.width,
                  record.height, record.x_density, record.y_density, record.color_depth,
                  static_cast<unsigned long long>(record.info_handle));
    std::printf("\n");
    MemoryHandle info = nullptr, bits = nullptr;
    const std::int32_t decoded = p.GetPicture(source, length, flags, &info, &bits, nullptr, 0);
    std::printf("  GetPicture(%s) %d", from_file ? "file" : "memory", decoded);
    if (decoded == 0) {
      const Bytes header = TakeResultBlock(info), pixels = TakeResultBlock(bits);
      std::printf(" info %016llx pixels %zu %016llx",
                  static_cast<unsigned long long>(Digest(header)), pixels.size(),
                  static_cast<unsigned long long>(Digest(pixels)));
    }
    std::printf("\n");
  }
}

void DumpArchive(const Bytes& data, const std::string& name) {
  const ArchiveApi& a = Archive();
  Bytes head = data;
  head.resize(2048);
  std::printf("  archive IsSupported %d\n",
              a.IsSupported("x", reinterpret_cast<std::uintptr_t>(head.data())));
  for (const HostInput& input : {InMemory(data), InFile(name)}) {
    const bool from_file = input.flags == 0;
    const void* source = input.source;
    const HostInt length = input.length;
    const std::uint32_t flags = input.flags;
    MemoryHandle block = nullptr;
    const std::int32_t status = a.GetArchiveInfo(source, length, flags, &block);
    std::printf("  GetArchiveInfo(%s) %d\n", from_file ? "file" : "memory", status);
    std::vector<ArchiveMemberRecord> members;
    if (status == 0) {
      const Bytes bytes = TakeResultBlock(block);
      for (std::size_t at = 0; at + sizeof(ArchiveMemberRecord) <= bytes.size();
           at += sizeof(ArchiveMemberRecord)) {
        ArchiveMemberRecord record;
        std::memcpy(&record, &bytes[at], sizeof record);
        if (record.method[0] == '\0') break;
        members.push_back(record);
        // The defined bytes: method, the numbers, path and name up to their ends.
        std::printf("    '%s' %llu %llu %llu %llu '%s' '%s' %u\n", record.method,
                    static_cast<unsigned long long>(record.position),
                    static_cast<unsigned long long>(record.stored_size),
                    static_cast<unsigned long long>(record.original_size),
                    static_cast<unsigned long long>(record.timestamp), record.path,
                    record.file_name, record.crc);
      }
    }
    for (const char* member : {"1", "2", "3", "0", "x"}) {
      ArchiveMemberRecord record{};
      const std::int32_t described = a.GetFileInfo(source, length, member, flags, &record);
      std::printf("    GetFileInfo %s %d", member, described);
      if (described == 0)
        std::printf(" %llu %llu '%s'", static_cast<unsigned long long>(record.position),
                    static_cast<unsigned long long>(record.stored_size), record.file_name);
      std::printf("\n");
    }
    // Every listed member, from the file; the block itself, from memory.
    if (from_file) {
      for (const ArchiveMemberRecord& m : members) {
        if (m.stored_size > (64u << 20)) continue;  // a wrapped size: no need to copy 4 GiB
        MemoryHandle copy = nullptr;
        const std::int32_t got =
            a.GetFile(name.c_str(), static_cast<HostInt>(m.position), &copy, 0x100, nullptr, 0);
        std::printf("    GetFile %s %d", m.file_name, got);
        if (got == 0) {
          const Bytes bytes = TakeResultBlock(copy);
          std::printf(" %zu %016llx", bytes.size(), static_cast<unsigned long long>(Digest(bytes)));
        }
        std::printf("\n");
      }
    } else {
      MemoryHandle copy = nullptr;
      const std::int32_t got =
          a.GetFile(data.data(), static_cast<HostInt>(data.size()), &copy, 0x101, nullptr, 0);
      std::printf("    GetFile(memory) %d", got);
      if (got == 0)
        std::printf(" %016llx", static_cast<unsigned long long>(Digest(TakeResultBlock(copy))));
      std::printf("\n");
    }
  }
}

Bytes Words(const std::vector<std::uint32_t>& words, std::size_t size) {
  Bytes bytes;
  for (std::uint32_t w : words) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(w >> (8 * i)));
  }
  while (bytes.size() < size) bytes.push_back(static_cast<std::uint8_t>(bytes.size() * 29 + 3));
  return bytes;
}

Bytes Picture(std::int16_t width, std::int16_t height, const Bytes& stream) {
  Bytes bytes = {'G', 'C', 'm', 'p', 'S', 'H', '0', 0};
  for (std::int16_t field : {width, height, std::int16_t{24}, std::int16_t{0}}) {
    bytes.push_back(static_cast<std::uint8_t>(field));
    bytes.push_back(static_cast<std::uint8_t>(static_cast<std::uint16_t>(field) >> 8));
  }
  bytes.insert(bytes.end(), stream.begin(), stream.end());
  return bytes;
}

// Malformed inputs, each a file: the cases of tests/hostile_inputs.md.
void WriteHostile(const fs::path& folder) {
  fs::create_directories(folder);
  const std::uint32_t magic = 0x4643534Eu;
  Bytes list255 = {0x01, 0xFF};
  for (int i = 0; i < 255 * 3; ++i) list255.push_back(static_cast<std::uint8_t>(i * 7));
  const std::pair<const char*, Bytes> cases[] = {
      {"table-12", Words({magic, 12, 20}, 30)},
      {"table-14", Words({magic, 14, 20, 30}, 30)},
      {"backwards", Words({magic, 20, 30, 25, 40}, 40)},
      {"repeated", Words({magic, 20, 30, 30, 40}, 40)},
      {"short-data", Words({magic, 24, 30}, 12)},
      {"wrapped-last", Words({magic, 16, 20, 18}, 20)},
      {"small-members", Words({magic, 24, 30, 31, 31, 40}, 40)},
      {"past-the-end", Words({magic, 16, 20, 5000}, 100)},
      {"huge-table", Words({magic, (16u << 20) + 4, 20, 30}, 30)},
      {"short-header", Bytes{'G', 'C', 'm', 'p'}},
      {"height-8", Picture(4, 8, {0xA0})},
      {"negative-width", Picture(-4, 9, {0xA0})},
      {"list-of-none", Picture(4, 9, {0x01, 0x00})},
      {"ends-early", Picture(4, 9, {0x05, 0x10, 0x20, 0x30})},
      {"count-zero-run", Picture(7, 9, {0x00, 0, 0, 0, 0, 1, 2, 3})},
      {"list-of-255", Picture(255, 9, list255)},
      {"empty", Bytes{}},
  };
  for (const auto& [name, bytes] : cases) WriteFile(folder / name, bytes);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--hostile") {
    WriteHostile(argv[2]);
    return 0;
  }
  if (argc != 2 || argv[1][0] == '-') {
    std::fprintf(stderr, "usage: host_dump FOLDER | host_dump --hostile FOLDER\n");
    return 2;
  }
  // Relative names, so that a Windows build under Wine reads the same files.
  fs::current_path(argv[1]);
  std::vector<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(".")) {
    if (entry.is_regular_file()) names.push_back(entry.path().generic_string());
  }
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const Bytes data = ReadWholeFile(name);
    std::printf("%s (%zu bytes)\n", name.c_str(), data.size());
    DumpPicture(data, name);
    DumpArchive(data, name);
  }
  return 0;
}
