// Concurrent calls: eight threads call every export of both plug-ins at once,
// on different inputs, many times, and every result must equal the result of
// the same calls made alone. The exports share no mutable state, so any
// difference (or, under ThreadSanitizer, any race) is a fault.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/test_files.h"
#include "plugin_host/plugin_host.h"
#include "writers/gcmp_writer.h"
#include "writers/nsc_writer.h"

namespace {

const Platform& os = SystemPlatform();

// "name<n><suffix>", built by appending (GCC 12 misjudges `"x" + std::to_string(n)`
// at -O3 with a false -Wrestrict warning).
std::string Numbered(const char* name, std::size_t n, const char* suffix) {
  std::string text = name;
  text += std::to_string(n);
  text += suffix;
  return text;
}

struct Subject {
  Bytes picture;  // a GCmpSH0 file
  Bytes archive;  // an NSC archive holding the picture and some other members
  std::string picture_path, archive_path;
  std::vector<std::uint32_t> positions;  // of the archive's members
};

Bytes Block(MemoryHandle block) {
  const auto* data = static_cast<const std::uint8_t*>(OsLocalLock(os, block));
  Bytes bytes(data, data + OsLocalSize(os, block));
  OsLocalUnlock(os, block);
  OsLocalFree(os, block);
  return bytes;
}

void Add(Bytes& digest, std::int32_t status) {
  for (int i = 0; i < 4; ++i) digest.push_back(static_cast<std::uint8_t>(status >> (8 * i)));
}

void Add(Bytes& digest, const Bytes& bytes) {
  digest.insert(digest.end(), bytes.begin(), bytes.end());
}

// Calls every export on one subject and returns all that they returned.
Bytes CallEverything(const Subject& s, const std::string& out_folder) {
  const ArchiveApi& a = Archive();
  const PictureApi& p = Picture();
  Bytes d;
  char text[64];
  for (std::int32_t n = 0; n < 5; ++n) {
    Add(d, a.GetPluginInfo(n, text, sizeof text));
    Add(d, p.GetPluginInfo(n, text, sizeof text));
  }
  Bytes head = s.archive;
  head.resize(2048);
  Add(d, a.IsSupported("a.nsc", reinterpret_cast<std::uintptr_t>(head.data())));
  Add(d, p.IsSupported("a.nsc", reinterpret_cast<std::uintptr_t>(head.data())));
  FileHandle lent =
      OsCreateFile(os, s.picture_path.c_str(), kGenericRead, kShareRead, kOpenExisting);
  Add(d, p.IsSupported("p", reinterpret_cast<std::uintptr_t>(lent)));
  Add(d, a.IsSupported("p", reinterpret_cast<std::uintptr_t>(lent)));
  OsCloseHandle(os, lent);

  PictureInfoRecord info{};
  Add(d, p.GetPictureInfo(s.picture.data(), static_cast<std::int32_t>(s.picture.size()), 1, &info));
  Add(d, info.width);
  Add(d, p.GetPreview(nullptr, 0, 0, nullptr, nullptr, nullptr, 0));
  for (bool from_file : {false, true}) {
    MemoryHandle header = nullptr, bits = nullptr;
    const std::int32_t status =
        from_file ? p.GetPicture(s.picture_path.c_str(), 0, 0, &header, &bits, nullptr, 0)
                  : p.GetPicture(s.picture.data(), static_cast<std::int32_t>(s.picture.size()), 1,
                                 &header, &bits, nullptr, 0);
    Add(d, status);
    if (status == Ok) {
      Add(d, Block(header));
      Add(d, Block(bits));
    }
  }

  ArchiveMemberRecord record{};
  MemoryHandle listing = nullptr;
  Add(d, a.GetArchiveInfo(s.archive_path.c_str(), 0, 0, &listing));
  if (listing != nullptr) {
    // Only the bytes the listing defines: the rest of each record is not written.
    const Bytes block = Block(listing);
    for (std::size_t at = 0; at + sizeof record <= block.size(); at += sizeof record) {
      std::memcpy(&record, &block[at], sizeof record);
      if (record.method[0] == '\0') break;
      Add(d, static_cast<std::int32_t>(record.position));
      Add(d, static_cast<std::int32_t>(record.stored_size));
      Add(d, Bytes(record.file_name, record.file_name + std::strlen(record.file_name)));
    }
  }
  Add(d, a.GetFileInfo(s.archive.data(), static_cast<std::int32_t>(s.archive.size()), "2", 1,
                       &record));
  Add(d, static_cast<std::int32_t>(record.stored_size));
  for (std::uint32_t position : s.positions) {
    MemoryHandle member = nullptr;
    const std::int32_t status = a.GetFile(
        s.archive_path.c_str(), static_cast<std::int32_t>(position), &member, 0x100, nullptr, 0);
    Add(d, status);
    if (status == Ok) Add(d, Block(member));
  }
  Add(d, a.GetFile(s.archive_path.c_str(), static_cast<std::int32_t>(s.positions[0]),
                   const_cast<char*>(out_folder.c_str()), 0, nullptr, 0));
  Add(d, ReadWholeFile(out_folder + "/1"));
  MemoryHandle copy = nullptr;
  Add(d, a.GetFile(s.picture.data(), static_cast<std::int32_t>(s.picture.size()), &copy, 0x101,
                   nullptr, 0));
  if (copy != nullptr) Add(d, Block(copy));

  // The W exports, with the same files named in UTF-16.
  const std::u16string wide_picture = Widen(s.picture_path), wide_archive = Widen(s.archive_path);
  char16_t wide_text[64];
  for (std::int32_t n = 0; n < 5; ++n) {
    Add(d, a.GetPluginInfoW(n, wide_text, 64));
    Add(d, p.GetPluginInfoW(n, wide_text, 64));
  }
  Add(d, a.IsSupportedW(u"a.nsc", reinterpret_cast<std::uintptr_t>(head.data())));
  Add(d, p.GetPictureInfoW(wide_picture.c_str(), 0, 0, &info));
  Add(d, info.height);
  MemoryHandle header = nullptr, bits = nullptr;
  Add(d, p.GetPictureW(wide_picture.c_str(), 0, 0, &header, &bits, nullptr, 0));
  if (header != nullptr) Add(d, Block(header));
  if (bits != nullptr) Add(d, Block(bits));
  Add(d, a.GetArchiveInfoW(wide_archive.c_str(), 0, 0, &listing));
  if (listing != nullptr) {
    const Bytes block = Block(listing);
    WideMemberRecord wide{};
    for (std::size_t at = 0; at + sizeof wide <= block.size(); at += sizeof wide) {
      std::memcpy(&wide, &block[at], sizeof wide);
      if (wide.method[0] == '\0') break;
      Add(d, static_cast<std::int32_t>(wide.position));
      const std::string name = Narrow(wide.file_name);
      Add(d, Bytes(name.begin(), name.end()));
    }
  }
  WideMemberRecord wide_record{};
  Add(d, a.GetFileInfoW(wide_archive.c_str(), 0, u"2", 0, &wide_record));
  Add(d, static_cast<std::int32_t>(wide_record.stored_size));
  std::u16string wide_folder = Widen(out_folder);
  Add(d, a.GetFileW(wide_archive.c_str(), static_cast<HostInt>(s.positions[0]), wide_folder.data(),
                    0, nullptr, 0));
  Add(d, ReadWholeFile(out_folder + "/1"));
  return d;
}

TEST(Concurrency, EveryExportFromEightThreadsGivesTheSingleThreadedResults) {
  TempDir dir;
  std::mt19937 rng(99);
  std::vector<Subject> subjects(6);
  for (std::size_t i = 0; i < subjects.size(); ++i) {
    Subject& s = subjects[i];
    const int width = 40 + static_cast<int>(i) * 13, height = 30 + static_cast<int>(i) * 7;
    Bytes pixels(3 * static_cast<std::size_t>(width) * height);
    for (auto& b : pixels) b = static_cast<std::uint8_t>(rng() % (i + 2) * 50);
    ASSERT_TRUE(EncodeGcmpPicture(pixels.data(), width, height, &s.picture));
    if (i == 5) s.picture[16] = 0x01, s.picture[17] = 0x00;  // broken pixel data
    std::string error;
    ASSERT_TRUE(
        PackNscArchive({s.picture, Bytes(i + 2, 9), Bytes{1}, Bytes(300, 4)}, &s.archive, &error));
    s.positions = {24, static_cast<std::uint32_t>(24 + s.picture.size()),
                   static_cast<std::uint32_t>(26 + s.picture.size() + i), 5};
    s.picture_path = dir.File(Numbered("p", i, ""));
    s.archive_path = dir.File(Numbered("a", i, ".nsc"));
    WriteFile(s.picture_path, s.picture);
    WriteFile(s.archive_path, s.archive);
  }
  std::vector<Bytes> expected;
  for (std::size_t i = 0; i < subjects.size(); ++i) {
    const std::string folder = dir.File(Numbered("alone", i, ""));
    std::filesystem::create_directory(folder);
    expected.push_back(CallEverything(subjects[i], folder));
  }

  constexpr int kThreads = 8, kRounds = 12;
  std::vector<int> mismatches(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const std::string folder = dir.File(Numbered("thread", t, ""));
      std::filesystem::create_directory(folder);
      for (int round = 0; round < kRounds; ++round) {
        const std::size_t i = static_cast<std::size_t>(t + round) % subjects.size();
        if (CallEverything(subjects[i], folder) != expected[i]) ++mismatches[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}

}  // namespace
