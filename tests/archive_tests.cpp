// Tests of the archive plug-in: the member table checks, IsSupported,
// GetArchiveInfo and GetFileInfo, GetFile to memory and to files with its
// progress sequence, the NSC writer, and the failure sweeps over every
// export. In the Windows build the exports are those of vizuz.spi, and files
// are written by the real CreateFileA and WriteFile.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "archive/archive_plugin.h"
#include "tests/fault_sweep.h"
#include "tests/test_files.h"
#include "plugin_host/plugin_host.h"
#include "writers/nsc_writer.h"

namespace {

const Platform& os = SystemPlatform();

// An archive whose table is `words` (W[0] and W[1] included), padded with
// distinct bytes up to `size`.
Bytes Table(const std::vector<std::uint32_t>& words, std::size_t size = 0) {
  Bytes bytes;
  for (std::uint32_t w : words) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(w >> (8 * i)));
  }
  while (bytes.size() < size) bytes.push_back(static_cast<std::uint8_t>(bytes.size() * 13));
  return bytes;
}

Bytes Pack(const std::vector<Bytes>& members) {
  Bytes archive;
  std::string error;
  EXPECT_TRUE(PackNscArchive(members, &archive, &error)) << error;
  return archive;
}

// n members of sizes 1 + (k % 7) * 3, each filled with its own number.
std::vector<Bytes> Members(std::size_t n) {
  std::vector<Bytes> members;
  for (std::size_t k = 0; k < n; ++k)
    members.push_back(Bytes(2 + (k % 7) * 3, static_cast<std::uint8_t>(k + 1)));
  return members;
}

std::int32_t Size(const Bytes& b) { return static_cast<std::int32_t>(b.size()); }

struct Listing {
  std::int32_t status;
  std::vector<ArchiveMemberRecord> records;  // up to and including the end record
};

Listing List(const Bytes& archive) {
  MemoryHandle block = reinterpret_cast<MemoryHandle>(1);
  Listing listing{Archive().GetArchiveInfo(archive.data(), Size(archive), 0x1, &block), {}};
  if (listing.status != Ok) return listing;
  const auto* records = static_cast<const ArchiveMemberRecord*>(OsLocalLock(os, block));
  for (std::size_t i = 0;; ++i) {
    listing.records.push_back(records[i]);
    if (records[i].method[0] == '\0') break;
  }
  EXPECT_EQ(OsLocalSize(os, block) % sizeof(ArchiveMemberRecord), 0u);
  EXPECT_FALSE(OsLocalUnlock(os, block)) << "handed over still locked";
  OsLocalFree(os, block);
  return listing;
}

std::vector<std::string> Names(const Listing& listing) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i + 1 < listing.records.size(); ++i)
    names.push_back(listing.records[i].file_name);
  return names;
}

// ---- member table checks ----

TEST(MemberTable, HeaderAndOrderChecks) {
  struct Case {
    const char* what;
    Bytes archive;
    std::int32_t status;
  } cases[] = {
      {"two members", Table({kNscMagic, 16, 20, 30}, 30), Ok},
      {"table of 12 bytes", Table({kNscMagic, 12, 20}, 30), UnsupportedFormat},
      {"table size not a multiple of 4", Table({kNscMagic, 14, 20, 30}, 30), UnsupportedFormat},
      {"wrong magic", Table({0x4643534Fu, 16, 20, 30}, 30), UnsupportedFormat},
      {"boundaries out of order", Table({kNscMagic, 20, 30, 25, 40}, 40), UnsupportedFormat},
      {"a boundary equal to the one before", Table({kNscMagic, 20, 30, 30, 40}, 40),
       UnsupportedFormat},
      {"the last boundary is not compared", Table({kNscMagic, 16, 20, 18}, 20), Ok},
      {"data shorter than the table", Table({kNscMagic, 24, 30}), UnsupportedFormat},
      {"table beyond the size limit", Table({kNscMagic, kLargestTable + 4, 20, 30}, 30),
       UnsupportedFormat},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FaultPlan plan;
    const Platform counting = FaultyPlatform(&plan);
    MemoryHandle block = reinterpret_cast<MemoryHandle>(7);
    EXPECT_EQ(archive::GetArchiveInfo(counting, c.archive.data(), Size(c.archive), 1, &block),
              c.status);
    if (c.status != Ok) {
      EXPECT_EQ(block, nullptr) << "the host's slot is null after any failure";
      EXPECT_EQ(plan.live_blocks, 0);
    } else {
      OsLocalFree(counting, block);
    }
    if (std::string(c.what) == "table beyond the size limit") {
      EXPECT_EQ(plan.kind_calls[static_cast<int>(FaultCall::LocalAlloc)], 0u)
          << "refused before anything is allocated";
    }
  }
}

TEST(MemberTable, ATableOfExactlyTheLimitIsRead) {
  // kLargestTable bytes: 4 Mi words, over four million members, each of one
  // byte but the last. GetFileInfo reads the whole table (one scratch block
  // of the limit's size) and describes the last member.
  const std::uint32_t words = kLargestTable / 4;
  std::vector<std::uint32_t> table(words);
  table[0] = kNscMagic;
  for (std::uint32_t i = 1; i < words; ++i) table[i] = kLargestTable + (i - 1);
  Bytes archive(reinterpret_cast<const std::uint8_t*>(table.data()),
                reinterpret_cast<const std::uint8_t*>(table.data()) + kLargestTable);
  archive.resize(kLargestTable + words, 0x33);
  const std::string last = std::to_string(words - 2);
  ArchiveMemberRecord record{};
  ASSERT_EQ(Archive().GetFileInfo(archive.data(), Size(archive), last.c_str(), 1, &record), Ok);
  EXPECT_EQ(record.position, kLargestTable + (words - 3));
  EXPECT_STREQ(record.file_name, last.c_str());
}

TEST(MemberTable, WrappedLastSizeAndNameWidths) {
  const Listing wrapped = List(Table({kNscMagic, 16, 20, 18}, 20));
  ASSERT_EQ(wrapped.status, Ok);
  ASSERT_EQ(wrapped.records.size(), 3u);
  EXPECT_EQ(+wrapped.records[1].stored_size, 0xFFFFFFFEu) << "18 - 20, modulo 2^32";

  struct Case {
    std::size_t members;
    const char* first;
    const char* last;
  } cases[] = {{2, "1", "2"},    {9, "1", "9"},       {10, "01", "10"},
               {99, "01", "99"}, {100, "001", "100"}, {150, "001", "150"}};
  for (const Case& c : cases) {
    const Listing listing = List(Pack(Members(c.members)));
    ASSERT_EQ(listing.status, Ok);
    const auto names = Names(listing);
    ASSERT_EQ(names.size(), c.members);
    EXPECT_EQ(names.front(), c.first);
    EXPECT_EQ(names.back(), c.last);
  }
}

// ---- listing ----

TEST(ArchiveListing, SmallMembersAreLeftOutAndTheGapShows) {
  // Sizes 4, 1, 0... cannot be: only the last may be empty. Sizes 4, 1, 3, 1:
  const Bytes archive = Table({kNscMagic, 24, 28, 29, 32, 33}, 33);
  const Listing listing = List(archive);
  ASSERT_EQ(listing.status, Ok);
  EXPECT_EQ(Names(listing), (std::vector<std::string>{"1", "3"}));
  const ArchiveMemberRecord& first = listing.records[0];
  EXPECT_STREQ(first.method, " ");
  EXPECT_EQ(+first.position, 24u);
  EXPECT_EQ(+first.stored_size, 4u);
  EXPECT_EQ(+first.original_size, 4u);
  EXPECT_EQ(+first.timestamp, 0u);
  EXPECT_EQ(first.path[0], '\0');
  EXPECT_EQ(+first.crc, 0u);
  EXPECT_EQ(+listing.records[1].position, 29u);
  // The last member was left out: the end record still holds its record but
  // for its first byte.
  const ArchiveMemberRecord& end = listing.records[2];
  EXPECT_EQ(end.method[0], '\0');
  EXPECT_EQ(+end.position, 32u);
  EXPECT_STREQ(end.file_name, "4");

  const Listing none = List(Table({kNscMagic, 16, 17, 17}, 17));
  ASSERT_EQ(none.status, Ok);
  EXPECT_EQ(none.records.size(), 1u) << "only the end record";

  // The example of a 16-byte table with boundaries 16, 20, 21.
  const Bytes small = Table({kNscMagic, 16, 20, 21}, 21);
  const Listing one = List(small);
  EXPECT_EQ(Names(one), (std::vector<std::string>{"1"}));
  ArchiveMemberRecord record{};
  ASSERT_EQ(Archive().GetFileInfo(small.data(), Size(small), "2", 1, &record), Ok);
  EXPECT_EQ(+record.position, 20u);
  EXPECT_EQ(+record.stored_size, 1u);
  EXPECT_STREQ(record.file_name, "2");
}

TEST(ArchiveListing, GetFileInfoReadsNamesAsNumbers) {
  const Bytes archive = Pack(Members(150));
  struct Case {
    const char* name;
    std::int32_t status;
    const char* reported;
  } cases[] = {
      {"1", Ok, "001"},
      {"01", Ok, "001"},
      {"+1", Ok, "001"},
      {" 1", Ok, "001"},
      {"\t7", Ok, "007"},
      {"150", Ok, "150"},
      {"0", ReadError, ""},
      {"", ReadError, ""},
      {"1x", ReadError, ""},
      {"1 ", ReadError, ""},
      {"151", ReadError, ""},
      {"-1", ReadError, ""},
      {"99999999999999999999", ReadError, ""},
      {"-99999999999999999999", ReadError, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("name '") + c.name + "'");
    ArchiveMemberRecord record;
    std::memset(&record, 0x5A, sizeof record);
    EXPECT_EQ(Archive().GetFileInfo(archive.data(), Size(archive), c.name, 0x7F01, &record),
              c.status);
    if (c.status == Ok) {
      EXPECT_STREQ(record.file_name, c.reported);
    } else {
      EXPECT_EQ(record.position, static_cast<HostWord>(0x5A5A5A5A5A5A5A5Au))
          << "record written on failure";
    }
    // The W twin judges the same name, spelled in UTF-16, the same way.
    WideMemberRecord wide;
    std::memset(&wide, 0x5A, sizeof wide);
    const std::u16string name(c.name, c.name + std::strlen(c.name));
    EXPECT_EQ(Archive().GetFileInfoW(archive.data(), Size(archive), name.c_str(), 0x7F01, &wide),
              c.status);
    if (c.status == Ok) {
      EXPECT_EQ(Narrow(wide.file_name), c.reported);
      EXPECT_EQ(wide.position, record.position);
    }
  }
  // Only ASCII blanks, signs and digits count: fullwidth and other scripts'
  // digits, and other scripts' blanks, name no member.
  for (const char16_t* name : {u"\uFF11", u"\u0661", u"\u0967", u"\u30001", u"1\u3000", u"\u00A01",
                               u"\uFF0B1", u"\U0001D7CF"}) {
    WideMemberRecord wide;
    EXPECT_EQ(Archive().GetFileInfoW(archive.data(), Size(archive), name, 1, &wide), ReadError)
        << Narrow(name);
  }
  // The name is judged before the rest of the table, the magic before the name.
  const Bytes corrupt = Table({kNscMagic, 20, 30, 25, 40}, 40);
  ArchiveMemberRecord record;
  EXPECT_EQ(Archive().GetFileInfo(corrupt.data(), Size(corrupt), "9", 1, &record), ReadError);
  EXPECT_EQ(Archive().GetFileInfo(corrupt.data(), Size(corrupt), "1", 1, &record),
            UnsupportedFormat);
  const Bytes bad_magic = Table({0, 20, 30, 35, 40}, 40);
  EXPECT_EQ(Archive().GetFileInfo(bad_magic.data(), Size(bad_magic), "9", 1, &record),
            UnsupportedFormat);
}

TEST(ArchiveListing, IsSupportedJudgesTheFirst2048BytesOnly) {
  std::vector<std::uint32_t> words = {kNscMagic, 4 * 1000};
  for (std::uint32_t k = 1; k < 1000 - 1; ++k) words.push_back(4000 + k);
  Bytes archive = Table(words, 6000);
  EXPECT_EQ(Archive().IsSupported("a.nsc", reinterpret_cast<std::uintptr_t>(archive.data())), 1);
  Bytes late = archive;
  late[3000] = late[3001] = 0;  // a boundary beyond the probe goes backwards
  EXPECT_EQ(Archive().IsSupported("a.nsc", reinterpret_cast<std::uintptr_t>(late.data())), 1);
  Bytes early = archive;
  early[2040] = early[2041] = 0;  // within the probe
  EXPECT_EQ(Archive().IsSupported("a.nsc", reinterpret_cast<std::uintptr_t>(early.data())), 0);
  // The bound is exact: W[510] is compared with W[509], W[511] with nothing
  // (as the last boundary of a shorter table is not).
  Bytes last_word = archive;
  last_word[2044] = last_word[2045] = 0;
  EXPECT_EQ(Archive().IsSupported("a.nsc", reinterpret_cast<std::uintptr_t>(last_word.data())), 1);
  for (auto [boundary, expected] : {std::pair{9, 1}, {8, 0}}) {
    std::vector<std::uint32_t> ten = {kNscMagic, 40, 50, 60, 70, 80, 90, 100, 110, 120};
    ten[boundary] = 45;  // below the one before
    Bytes head = Table(ten, 200);
    head.resize(2048);
    EXPECT_EQ(Archive().IsSupported("a.nsc", reinterpret_cast<std::uintptr_t>(head.data())),
              expected)
        << "W[" << boundary << "] out of order";
  }
  Bytes short_one = Table({kNscMagic, 16, 20, 30}, 30);
  short_one.resize(2048);
  EXPECT_EQ(Archive().IsSupported("a.nsc", reinterpret_cast<std::uintptr_t>(short_one.data())), 1);
  short_one[0] = 'X';
  EXPECT_EQ(Archive().IsSupported("a.nsc", reinterpret_cast<std::uintptr_t>(short_one.data())), 0);

  TempDir dir;
  WriteFile(dir.File("a.nsc"), Concat(Bytes(9, 0), archive));
  FileHandle file =
      OsCreateFile(os, dir.File("a.nsc").c_str(), kGenericRead, kShareRead, kOpenExisting);
  OsSetFilePointer(os, file, 9, kFileBegin);
  EXPECT_EQ(Archive().IsSupported("a.nsc", reinterpret_cast<std::uintptr_t>(file)), 1);
  EXPECT_EQ(FilePosition(file), 9u);
  OsCloseHandle(os, file);
}

// ---- extraction ----

struct Progress {
  std::vector<std::pair<std::int32_t, std::int32_t>> calls;
  std::vector<std::uint64_t> read_before;  // bytes the plan had read at each call
  const FaultPlan* plan = nullptr;
  std::int32_t stop_at = -1;
};

std::int32_t SPI_CALL RecordProgress(std::int32_t num, std::int32_t denom,
                                     std::intptr_t user_data) {
  auto* p = reinterpret_cast<Progress*>(user_data);
  p->calls.emplace_back(num, denom);
  p->read_before.push_back(p->plan != nullptr ? p->plan->bytes_read : 0);
  return static_cast<std::int32_t>(p->calls.size()) - 1 == p->stop_at ? 1 : 0;
}

TEST(GetFile, MemoryInputToMemoryAndToAFile) {
  const Bytes data = {1, 2, 3, 4, 5, 6, 7};
  MemoryHandle block = nullptr;
  ASSERT_EQ(Archive().GetFile(data.data(), Size(data), &block, 0x101, nullptr, 0), Ok);
  EXPECT_EQ(TakeBlock(block), data);

  TempDir dir;
  const std::string folder = dir.path.string();
  ASSERT_EQ(Archive().GetFile(data.data(), Size(data), const_cast<char*>(folder.c_str()), 0x001,
                              nullptr, 0),
            Ok);
  EXPECT_EQ(ReadWholeFile(dir.File("noname")), data);

  // A last member whose size wrapped: 4 GiB less 2 bytes cannot be supplied
  // to a 32-bit process. A 64-bit one may get it, so there a platform that
  // supplies no more than 1 GiB stands for one that cannot.
  TempDir wrapped_dir;
  WriteFile(wrapped_dir.File("w.nsc"), Table({kNscMagic, 16, 20, 18}, 20));
  FaultPlan bounded_plan;
  bounded_plan.largest_block = 1u << 30;
  const Platform bounded = FaultyPlatform(&bounded_plan);
  EXPECT_EQ(kIs64BitEdition ? archive::GetFile(bounded, wrapped_dir.File("w.nsc").c_str(), 20,
                                               &block, 0x100, nullptr, 0)
                            : Archive().GetFile(wrapped_dir.File("w.nsc").c_str(), 20, &block,
                                                0x100, nullptr, 0),
            NoMemory);

  const Bytes empty;
  block = reinterpret_cast<MemoryHandle>(3);
  EXPECT_EQ(Archive().GetFile(empty.data(), 0, &block, 0x101, nullptr, 0), MemoryError);
  EXPECT_EQ(block, reinterpret_cast<MemoryHandle>(3)) << "dest is written only on success";

  // Another output kind is refused before the source is looked at.
  EXPECT_EQ(Archive().GetFile(nullptr, 99, &block, 0x200, nullptr, 0), OutputError);
  EXPECT_EQ(Archive().GetFile(nullptr, 99, &block, 0x701, nullptr, 0), OutputError);
  EXPECT_EQ(block, reinterpret_cast<MemoryHandle>(3));
}

TEST(GetFile, FileInputNamesTheFileAsTheListingDoes) {
  TempDir dir;
  const auto members = Members(150);
  const Bytes archive = Pack(members);
  const std::string name = dir.File("a.nsc");
  WriteFile(name, archive);
  const Listing listing = List(archive);
  const ArchiveMemberRecord& second = listing.records[1];
  ASSERT_STREQ(second.file_name, "002");
  const auto position = static_cast<std::int32_t>(second.position);

  std::filesystem::create_directory(dir.path / "D");
  const std::string folder = dir.File("D");
  ASSERT_EQ(
      Archive().GetFile(name.c_str(), position, const_cast<char*>(folder.c_str()), 0, nullptr, 0),
      Ok);
  EXPECT_EQ(ReadWholeFile(dir.File("D/002")), members[1]);

  // A folder ending in a backslash gets a second one; the system takes both.
  const std::string slashed = folder + "\\";
  WriteFile(dir.File("D/002"), Bytes(100, 0xEE));  // longer than the member
  ASSERT_EQ(
      Archive().GetFile(name.c_str(), position, const_cast<char*>(slashed.c_str()), 0, nullptr, 0),
      Ok);
  EXPECT_EQ(ReadWholeFile(dir.File("D/002")), members[1]) << "the older, longer file is replaced";

  // An empty folder name means the current folder.
  const auto here = std::filesystem::current_path();
  std::filesystem::current_path(dir.path);
  char empty[] = "";
  EXPECT_EQ(
      Archive().GetFile(name.c_str(), static_cast<std::int32_t>(listing.records[149].position),
                        empty, 0, nullptr, 0),
      Ok);
  std::filesystem::current_path(here);
  EXPECT_EQ(ReadWholeFile(dir.File("150")), members[149]);

  MemoryHandle block = nullptr;
  ASSERT_EQ(Archive().GetFile(name.c_str(), position, &block, 0x100, nullptr, 0), Ok);
  EXPECT_EQ(TakeBlock(block), members[1]);

  EXPECT_EQ(Archive().GetFile(name.c_str(), position + 1, &block, 0x100, nullptr, 0), ReadError)
      << "a position that starts no member";
  EXPECT_EQ(Archive().GetFile(name.c_str(), -5, &block, 0x100, nullptr, 0), ReadError);

  // An archive at a nonzero offset is still read from the file's first byte.
  WriteFile(dir.File("late.nsc"), Concat(Bytes(64, 0), archive));
  EXPECT_EQ(
      Archive().GetFile(dir.File("late.nsc").c_str(), position + 64, &block, 0x100, nullptr, 0),
      UnsupportedFormat);
  MemoryHandle listed = nullptr;
  ASSERT_EQ(Archive().GetArchiveInfo(dir.File("late.nsc").c_str(), 64, 0, &listed), Ok);
  OsLocalFree(os, listed);
}

TEST(GetFile, PathsTooLongForTheAreaAreRefused) {
  TempDir dir;
  const Bytes data = {9, 9};
  std::string folder = dir.path.string() + "\\";
  folder += std::string(259 - folder.size() - std::strlen("noname"), 'x');  // 260 with the name
  EXPECT_EQ(Archive().GetFile(data.data(), 2, const_cast<char*>(folder.c_str()), 1, nullptr, 0),
            OutputError);
  std::string fits = folder.substr(0, folder.size() - 1);
  EXPECT_NE(Archive().GetFile(data.data(), 2, const_cast<char*>(fits.c_str()), 1, nullptr, 0), Ok)
      << "259 characters fit, but that folder does not exist";
  EXPECT_TRUE(std::filesystem::is_empty(dir.path)) << "nothing was created";
}

TEST(GetFile, ProgressSequencesAndTheReadsBetween) {
  TempDir dir;
  for (std::uint32_t size : {100u, 5u, 64u}) {
    SCOPED_TRACE(size);
    const Bytes member(size, 0x42);
    const Bytes archive = Pack({member, Bytes{1}});
    WriteFile(dir.File("a.nsc"), archive);
    FaultPlan plan;
    const Platform counting = FaultyPlatform(&plan);
    Progress progress;
    progress.plan = &plan;
    MemoryHandle block = nullptr;
    ASSERT_EQ(archive::GetFile(counting, dir.File("a.nsc").c_str(), 16, &block, 0x100,
                               RecordProgress, reinterpret_cast<HostInt>(&progress)),
              Ok);
    OsLocalFree(counting, block);
    const std::int32_t chunks = size < 32 ? static_cast<std::int32_t>(size) : 32;
    const std::uint32_t chunk = size < 32 ? 1 : size / 32;
    ASSERT_EQ(progress.calls.size(), static_cast<std::size_t>(chunks) + 2);
    const std::uint64_t table = progress.read_before[0];
    for (std::int32_t i = 0; i < chunks; ++i) {
      EXPECT_EQ(progress.calls[i], std::make_pair(i, chunks));
      EXPECT_EQ(progress.read_before[i] - table, std::uint64_t{chunk} * i) << i;
    }
    EXPECT_EQ(progress.calls[chunks], std::make_pair(chunks, chunks));
    EXPECT_EQ(progress.read_before[chunks] - table, size) << "the rest is read before it";
    EXPECT_EQ(progress.calls[chunks + 1], std::make_pair(0, 32));
  }
}

TEST(GetFile, CancellingLeavesNoFileAndNoBlock) {
  TempDir dir;
  const Bytes data(100, 7);
  const std::string folder = dir.path.string();
  for (std::int32_t stop : {0, 10, 32, 33}) {
    SCOPED_TRACE(stop);
    Progress progress;
    progress.stop_at = stop;
    FaultPlan plan;
    const Platform counting = FaultyPlatform(&plan);
    EXPECT_EQ(archive::GetFile(counting, data.data(), 100, const_cast<char*>(folder.c_str()), 1,
                               RecordProgress, reinterpret_cast<HostInt>(&progress)),
              Cancelled);
    EXPECT_EQ(progress.calls.size(), static_cast<std::size_t>(stop) + 1);
    EXPECT_EQ(plan.live_blocks, 0);
    EXPECT_FALSE(FileExists(dir.File("noname")));
  }
  Progress never;
  never.stop_at = 0;
  MemoryHandle block = nullptr;
  EXPECT_EQ(Archive().GetFile(data.data(), 0, &block, 0x101, RecordProgress,
                              reinterpret_cast<HostInt>(&never)),
            MemoryError);
  EXPECT_TRUE(never.calls.empty()) << "a member of size 0 fails before any progress call";
}

TEST(GetFile, ShortWritesAreWriteFailures) {
  TempDir dir;
  const Bytes data(1000, 3);
  const std::string folder = dir.path.string();
  WriteFile(dir.File("noname"), Bytes(5000, 1));
  FaultPlan plan;
  plan.only = FaultCall::WriteFile;
  plan.fail_at = 1;
  plan.kind = FaultKind::ShortTransfer;
  const Platform faulty = FaultyPlatform(&plan);
  EXPECT_EQ(
      archive::GetFile(faulty, data.data(), 1000, const_cast<char*>(folder.c_str()), 1, nullptr, 0),
      OutputError);
  EXPECT_TRUE(plan.injected);
  EXPECT_TRUE(ReadWholeFile(dir.File("noname")).empty()) << "no part of the member is left";
  EXPECT_EQ(plan.open_handles, 0);
  EXPECT_EQ(plan.live_blocks, 0);
}

// ---- wide-character exports, impossible lengths, large files ----

struct WideListing {
  std::int32_t status;
  std::vector<WideMemberRecord> records;  // up to and including the end record
};

WideListing ListWide(const void* source, HostInt length, std::uint32_t flags) {
  MemoryHandle block = reinterpret_cast<MemoryHandle>(1);
  WideListing listing{Archive().GetArchiveInfoW(source, length, flags, &block), {}};
  if (listing.status != Ok) {
    EXPECT_EQ(block, nullptr) << "the host's slot is null after any failure";
    return listing;
  }
  const Bytes bytes = TakeBlock(block);
  EXPECT_EQ(bytes.size() % sizeof(WideMemberRecord), 0u);
  for (std::size_t i = 0; (i + 1) * sizeof(WideMemberRecord) <= bytes.size(); ++i) {
    WideMemberRecord record;
    std::memcpy(&record, bytes.data() + i * sizeof record, sizeof record);
    listing.records.push_back(record);
    if (record.method[0] == '\0') break;
  }
  return listing;
}

// The W record says what the ANSI one says, with its texts in UTF-16.
void ExpectSameRecord(const ArchiveMemberRecord& ansi, const WideMemberRecord& wide) {
  EXPECT_EQ(std::string(wide.method), std::string(ansi.method));
  EXPECT_EQ(wide.position, ansi.position);
  EXPECT_EQ(wide.stored_size, ansi.stored_size);
  EXPECT_EQ(wide.original_size, ansi.original_size);
  EXPECT_EQ(wide.timestamp, ansi.timestamp);
  EXPECT_EQ(Narrow(wide.path), std::string(ansi.path));
  EXPECT_EQ(Narrow(wide.file_name), std::string(ansi.file_name));
  EXPECT_EQ(wide.crc, ansi.crc);
}

TEST(WideExports, ListingsMatchTheAnsiTwin) {
  struct Case {
    const char* what;
    Bytes archive;
  } cases[] = {
      {"150 members", Pack(Members(150))},
      {"9 members", Pack(Members(9))},
      {"members of 0 and 1 bytes left out", Table({kNscMagic, 24, 30, 31, 31, 40}, 40)},
      {"a wrapped last size", Table({kNscMagic, 16, 20, 18}, 20)},
      {"boundaries out of order", Table({kNscMagic, 20, 30, 25, 40}, 40)},
      {"wrong magic", Table({0, 16, 20, 30}, 30)},
      {"empty", Bytes{}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Listing ansi = List(c.archive);
    const WideListing wide = ListWide(c.archive.data(), Size(c.archive), 0x1);
    EXPECT_EQ(wide.status, ansi.status);
    ASSERT_EQ(wide.records.size(), ansi.records.size());
    for (std::size_t i = 0; i + 1 < ansi.records.size(); ++i)
      ExpectSameRecord(ansi.records[i], wide.records[i]);
    if (ansi.status != Ok) continue;
    EXPECT_EQ(wide.records.back().method[0], '\0') << "the end record";
    // Each listed member is described alike by both GetFileInfo exports.
    for (std::size_t i = 0; i + 1 < ansi.records.size(); ++i) {
      ArchiveMemberRecord one{};
      WideMemberRecord wide_one{};
      const std::string name = ansi.records[i].file_name;
      ASSERT_EQ(Archive().GetFileInfo(c.archive.data(), Size(c.archive), name.c_str(), 1, &one),
                Ok);
      ASSERT_EQ(Archive().GetFileInfoW(c.archive.data(), Size(c.archive), Widen(name).c_str(), 1,
                                       &wide_one),
                Ok);
      ExpectSameRecord(one, wide_one);
    }
  }
}

// Reads the little-endian number of `width` bytes at `offset`.
std::uint64_t NumberAt(const Bytes& bytes, std::size_t offset, std::size_t width) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < width; ++i) value |= std::uint64_t{bytes[offset + i]} << (8 * i);
  return value;
}

TEST(WideExports, RecordsLieAtTheirByteOffsets) {
  // Both kinds of record, read back as raw bytes at the offsets a host uses.
  const Bytes archive = Pack(Members(12));
  const std::size_t word = kIs64BitEdition ? 8 : 4;
  struct Layout {
    std::size_t size, char_size;
  };
  for (const Layout layout : {Layout{kMemberRecordSize, 1}, Layout{kWideMemberRecordSize, 2}}) {
    const bool wide = layout.char_size == 2;
    SCOPED_TRACE(wide ? "WideMemberRecord" : "ArchiveMemberRecord");
    EXPECT_EQ(layout.size, kIs64BitEdition ? (wide ? 848u : 448u) : (wide ? 828u : 428u));
    Bytes record(layout.size, 0x5A);
    const std::int32_t status =
        wide ? Archive().GetFileInfoW(archive.data(), Size(archive), u"3", 1,
                                      reinterpret_cast<WideMemberRecord*>(record.data()))
             : Archive().GetFileInfo(archive.data(), Size(archive), "3", 1,
                                     reinterpret_cast<ArchiveMemberRecord*>(record.data()));
    ASSERT_EQ(status, Ok);
    const std::size_t path = 8 + 4 * word;
    const std::size_t name = path + 200 * layout.char_size;
    const std::size_t crc = name + 200 * layout.char_size;
    EXPECT_EQ(record[0], ' ');
    EXPECT_EQ(record[1], 0);
    const Listing listing = List(archive);
    EXPECT_EQ(NumberAt(record, 8, word), listing.records[2].position);
    EXPECT_EQ(NumberAt(record, 8 + word, word), Members(12)[2].size());
    EXPECT_EQ(NumberAt(record, 8 + 2 * word, word), Members(12)[2].size());
    EXPECT_EQ(NumberAt(record, 8 + 3 * word, word), 0u);
    EXPECT_EQ(NumberAt(record, path, layout.char_size), 0u) << "empty path";
    EXPECT_EQ(NumberAt(record, name, layout.char_size), '0');
    EXPECT_EQ(NumberAt(record, name + layout.char_size, layout.char_size), '3');
    EXPECT_EQ(NumberAt(record, name + 2 * layout.char_size, layout.char_size), 0u);
    EXPECT_EQ(NumberAt(record, crc, 4), 0u);
    if (kIs64BitEdition) {
      EXPECT_EQ(crc + 8, layout.size);
      EXPECT_EQ(NumberAt(record, crc + 4, 4), 0u) << "padding is written as zero";
    } else {
      EXPECT_EQ(crc + 4, layout.size);
    }
  }
}

TEST(WideExports, AnyFileAndFolderNameWorks) {
  TempDir dir;
  const auto members = Members(12);
  const Bytes archive = Pack(members);
  const Listing listing = List(archive);
  const auto fourth = static_cast<HostInt>(listing.records[3].position);
  for (const char* name : {"日本語のアーカイブ.nsc", "café crème.nsc", " spaced  out .nsc",
                           "Ελληνικά и кириллица.nsc", "😀 beyond the BMP.nsc"}) {
    SCOPED_TRACE(name);
    const std::filesystem::path file = dir.path / Widen(name);
    const std::filesystem::path folder = dir.path / Widen(std::string("出力 é ") + name);
    WriteFile(file, archive);
    std::filesystem::create_directory(folder);
    const std::u16string wide_file = WidePath(file);

    const WideListing wide = ListWide(wide_file.c_str(), 0, 0);
    ASSERT_EQ(wide.status, Ok);
    ASSERT_EQ(wide.records.size(), listing.records.size());
    for (std::size_t i = 0; i + 1 < wide.records.size(); ++i)
      ExpectSameRecord(listing.records[i], wide.records[i]);

    WideMemberRecord record{};
    ASSERT_EQ(Archive().GetFileInfoW(wide_file.c_str(), 0, u"04", 0, &record), Ok);
    EXPECT_EQ(static_cast<HostInt>(record.position), fourth);

    std::u16string dest = WidePath(folder);
    ASSERT_EQ(Archive().GetFileW(wide_file.c_str(), fourth, dest.data(), 0, nullptr, 0), Ok);
    EXPECT_EQ(ReadWholeFile(folder / "04"), members[3]);
    MemoryHandle block = nullptr;
    ASSERT_EQ(Archive().GetFileW(wide_file.c_str(), fourth, &block, 0x100, nullptr, 0), Ok);
    EXPECT_EQ(TakeBlock(block), members[3]);
    // Memory input into a folder with such a name.
    ASSERT_EQ(Archive().GetFileW(archive.data(), Size(archive), dest.data(), 1, nullptr, 0), Ok);
    EXPECT_EQ(ReadWholeFile(folder / "noname"), archive);
  }
  const std::u16string missing = WidePath(dir.path / Widen("無い.nsc"));
  EXPECT_EQ(ListWide(missing.c_str(), 0, 0).status, ReadError);
}

TEST(WideExports, OutputPathsOverTheWideAreaAreRefusedBeforeCreating) {
  // A folder name of n units: with "\\noname" the path needs n + 7 units and
  // its terminator. At archive::kWidePathUnits - 1 units it is tried (the folder does
  // not exist, so the creation fails); one unit more is refused untried.
  const Bytes data = {4, 2};
  for (std::size_t length : {archive::kWidePathUnits - 1, archive::kWidePathUnits}) {
    SCOPED_TRACE(length);
    std::u16string dest(length - 7, u'\u3042');  // HIRAGANA A
    FaultPlan plan;
    const Platform counting = FaultyPlatform(&plan);
    EXPECT_EQ(archive::GetFileW(counting, data.data(), 2, dest.data(), 1, nullptr, 0), OutputError);
    EXPECT_EQ(plan.kind_calls[static_cast<int>(FaultCall::CreateFile)],
              length < archive::kWidePathUnits ? 1u : 0u);
    EXPECT_EQ(plan.live_blocks, 0);
  }
  // The single-byte area holds 259 characters and the terminator.
  for (std::size_t length : {archive::kAnsiPathUnits - 1, archive::kAnsiPathUnits}) {
    std::string dest(length - 7, 'x');
    FaultPlan plan;
    const Platform counting = FaultyPlatform(&plan);
    EXPECT_EQ(archive::GetFile(counting, data.data(), 2, dest.data(), 1, nullptr, 0), OutputError);
    EXPECT_EQ(plan.kind_calls[static_cast<int>(FaultCall::CreateFile)],
              length < archive::kAnsiPathUnits ? 1u : 0u);
  }
}

TEST(ArchiveListing, ImpossibleMemoryLengthsReadAsAnEmptyBlock) {
  // A negative length, or one that would carry the block past the top of the
  // address space, is an empty block: no byte of it is read (the sanitizer
  // build would see one), and each export answers as for 0 bytes.
  const Bytes archive = Pack(Members(3));
  const void* near_top = reinterpret_cast<const void*>(UINTPTR_MAX - 0xFF);
  struct Case {
    const void* source;
    HostInt length;
  } cases[] = {
      {archive.data(), -1}, {archive.data(), INTPTR_MIN}, {near_top, 0x1000}, {archive.data(), 0}};
  TempDir dir;
  const std::string folder = dir.path.string();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    EXPECT_EQ(List(Bytes{}).status, UnsupportedFormat);
    MemoryHandle slot = reinterpret_cast<MemoryHandle>(1);
    EXPECT_EQ(Archive().GetArchiveInfo(c.source, c.length, 1, &slot), UnsupportedFormat);
    EXPECT_EQ(slot, nullptr);
    EXPECT_EQ(ListWide(c.source, c.length, 1).status, UnsupportedFormat);
    ArchiveMemberRecord record{};
    WideMemberRecord wide{};
    EXPECT_EQ(Archive().GetFileInfo(c.source, c.length, "1", 1, &record), UnsupportedFormat);
    EXPECT_EQ(Archive().GetFileInfoW(c.source, c.length, u"1", 1, &wide), UnsupportedFormat);
    for (std::uint32_t flags : {0x101u, 0x001u}) {
      Progress progress;
      MemoryHandle block = reinterpret_cast<MemoryHandle>(1);
      std::u16string wide_folder = Widen(folder);
      void* dest = flags == 0x101u ? static_cast<void*>(&block) : const_cast<char*>(folder.c_str());
      void* wide_dest = flags == 0x101u ? static_cast<void*>(&block) : wide_folder.data();
      EXPECT_EQ(Archive().GetFile(c.source, c.length, dest, flags, RecordProgress,
                                  reinterpret_cast<HostInt>(&progress)),
                MemoryError);
      EXPECT_EQ(Archive().GetFileW(c.source, c.length, wide_dest, flags, RecordProgress,
                                   reinterpret_cast<HostInt>(&progress)),
                MemoryError);
      EXPECT_TRUE(progress.calls.empty()) << "refused before any progress call";
      EXPECT_EQ(block, reinterpret_cast<MemoryHandle>(1));
      EXPECT_FALSE(FileExists(dir.path / "noname"));
    }
  }
  if (kIs64BitEdition) {
    // A block of 4 GiB or more cannot be copied into a result block: refused
    // before anything is allocated (or read).
    FaultPlan plan;
    const Platform counting = FaultyPlatform(&plan);
    MemoryHandle block = nullptr;
    const auto four_gib = static_cast<HostInt>(std::uint64_t{1} << 32);
    EXPECT_EQ(archive::GetFile(counting, archive.data(), four_gib, &block, 0x101, nullptr, 0),
              NoMemory);
    EXPECT_EQ(archive::GetFileW(counting, archive.data(), four_gib, &block, 0x101, nullptr, 0),
              NoMemory);
    EXPECT_EQ(plan.kind_calls[static_cast<int>(FaultCall::LocalAlloc)], 0u);
  }
}

TEST(GetFile, MembersAndArchivesPast2GiB) {
  // A sparse archive of 2.25 GiB: a 4-byte member, one that fills the hole,
  // and 100 bytes at 0x90000000. And the 12-member archive again, placed
  // 0x88000000 bytes into another sparse file.
  TempDir dir;
  const std::uint32_t far = 0x90000000u;
  const Bytes head = Concat(Table({kNscMagic, 20, 24, far, far + 100}), Bytes{'a', 'b', 'c', 'd'});
  Bytes tail(100);
  for (std::size_t i = 0; i < tail.size(); ++i) tail[i] = static_cast<std::uint8_t>(i * 3 + 1);
  const std::filesystem::path big = dir.path / "big.nsc";
  WriteSparseFile(big, far + 100, {{0, head}, {far, tail}});
  const Bytes small = Pack(Members(12));
  const std::uint64_t late = 0x88000000u;
  const std::filesystem::path shifted = dir.path / "shifted.nsc";
  WriteSparseFile(shifted, late + small.size(), {{late, small}});
  const std::string big_name = big.string(), shifted_name = shifted.string();

  // Listing reads only the table at the start: the same in both editions.
  MemoryHandle block = nullptr;
  ASSERT_EQ(Archive().GetArchiveInfo(big_name.c_str(), 0, 0, &block), Ok);
  const Bytes records = TakeBlock(block);
  ArchiveMemberRecord third;
  std::memcpy(&third, records.data() + 2 * sizeof third, sizeof third);
  EXPECT_EQ(third.position, far);
  EXPECT_EQ(third.stored_size, 100u);

  const auto position = static_cast<HostInt>(far);
  const std::int32_t from_big =
      Archive().GetFile(big_name.c_str(), position, &block, 0x100, nullptr, 0);
  MemoryHandle listed = nullptr;
  const std::int32_t from_shifted =
      Archive().GetArchiveInfo(shifted_name.c_str(), static_cast<HostInt>(late), 0, &listed);
  if (kIs64BitEdition) {
    // 64-bit positioning reaches both.
    ASSERT_EQ(from_big, Ok);
    EXPECT_EQ(TakeBlock(block), tail);
    ASSERT_EQ(Archive().GetFileW(WidePath(big).c_str(), position, &block, 0x100, nullptr, 0), Ok);
    EXPECT_EQ(TakeBlock(block), tail);
    ASSERT_EQ(from_shifted, Ok);
    EXPECT_EQ(TakeBlock(listed).size(), 13 * sizeof(ArchiveMemberRecord));
    // The whole word is compared with the member starts: 2^32 + 24 starts no
    // member, though its low 32 bits are member 2's start.
    EXPECT_EQ(
        Archive().GetFile(big_name.c_str(), static_cast<HostInt>((std::uint64_t{1} << 32) + 24),
                          &block, 0x100, nullptr, 0),
        ReadError);
  } else {
    // The 32-bit edition positions with a signed 32-bit distance: a start or
    // an offset past 2 GiB arrives negative, and the system refuses it.
    EXPECT_EQ(from_big, ReadError);
    EXPECT_EQ(from_shifted, ReadError);
  }
}

// ---- failure sweeps ----

// The status each kind of failed call must give.
// The first CreateFile opens the archive unless the input is in memory.
std::int32_t ExpectedStatus(const FaultPlan& plan, bool memory_input = false) {
  switch (plan.injected_call) {
    case FaultCall::CreateFile:
      return plan.injected_kind_index == 1 && !memory_input ? ReadError : OutputError;
    case FaultCall::ReadFile:
    case FaultCall::SetFilePointer: return ReadError;
    case FaultCall::LocalAlloc: return NoMemory;
    case FaultCall::LocalLock: return MemoryError;
    default: return OutputError;  // WriteFile, SetEndOfFile
  }
}

TEST(ArchiveSweep, EveryFailurePointOfEveryExport) {
  TempDir dir;
  const auto members = Members(12);
  const Bytes archive = Pack(members);
  const std::string name = dir.File("a.nsc");
  WriteFile(name, archive);
  std::filesystem::create_directory(dir.path / "out");
  const std::string folder = dir.File("out");
  const std::string output = dir.File("out/04");
  const auto position = static_cast<std::int32_t>(List(archive).records[3].position);

  FileHandle lent = OsCreateFile(os, name.c_str(), kGenericRead, kShareRead, kOpenExisting);
  SweepFaults(
      FaultCall::Any, kErrorReadFault,
      [&](const Platform& faulty) {
        OsSetFilePointer(os, lent, 0, kFileBegin);
        return archive::IsSupported(faulty, "a.nsc", reinterpret_cast<std::uintptr_t>(lent));
      },
      [&](const SweepRun& run) {
        // Only a failure to put the handle back (the second positioning)
        // leaves the answer 1: IsSupported has no status to report it in.
        const bool restore = run.plan.injected_call == FaultCall::SetFilePointer &&
                             run.plan.injected_kind_index == 2;
        EXPECT_EQ(run.result, !run.plan.injected || restore ? 1 : 0);
      });
  OsCloseHandle(os, lent);

  auto plain = [](const SweepRun& run) {
    EXPECT_EQ(run.result, run.plan.injected ? ExpectedStatus(run.plan) : Ok);
  };
  // Each export that takes a name, and its W twin with the same name in UTF-16.
  const std::u16string wide_name = Widen(name);
  std::u16string wide_folder = Widen(folder);
  for (const TextKind kind : {TextKind::Ansi, TextKind::Wide}) {
    const bool wide = kind == TextKind::Wide;
    SCOPED_TRACE(wide ? "W exports" : "ANSI exports");
    SweepFaults(
        FaultCall::Any, kErrorReadFault,
        [&](const Platform& faulty) {
          MemoryHandle block = reinterpret_cast<MemoryHandle>(1);
          std::int32_t status =
              wide ? archive::GetArchiveInfoW(faulty, wide_name.c_str(), 0, 0, &block)
                   : archive::GetArchiveInfo(faulty, name.c_str(), 0, 0, &block);
          if (status == Ok) {
            OsLocalFree(faulty, block);
          } else {
            EXPECT_EQ(block, nullptr) << "the host's slot is null after any failure";
          }
          return status;
        },
        [&](const SweepRun& run) {
          plain(run);
          EXPECT_EQ(run.plan.live_blocks, 0);
        });
    SweepFaults(
        FaultCall::Any, kErrorReadFault,
        [&](const Platform& faulty) {
          ArchiveMemberRecord record{};
          WideMemberRecord wide_record{};
          std::int32_t status =
              wide ? archive::GetFileInfoW(faulty, wide_name.c_str(), 0, u"4", 0, &wide_record)
                   : archive::GetFileInfo(faulty, name.c_str(), 0, "4", 0, &record);
          const HostWord written = wide ? wide_record.position : record.position;
          EXPECT_EQ(written, status == Ok ? static_cast<HostWord>(position) : 0u);
          return status;
        },
        [&](const SweepRun& run) {
          plain(run);
          EXPECT_EQ(run.plan.live_blocks, 0);
        });
    for (std::uint32_t flags : {0x100u, 0x000u, 0x001u}) {
      SCOPED_TRACE(flags);
      const bool to_file = (flags & 0x100) == 0;
      const bool from_memory = (flags & 1) != 0;
      const std::string written = from_memory ? dir.File("out/noname") : output;
      const Bytes& expected = from_memory ? archive : members[3];
      SweepFaults(
          FaultCall::Any, kErrorDiskFull,
          [&](const Platform& faulty) {
            std::filesystem::remove(written);
            MemoryHandle block = nullptr;
            Progress progress;
            void* folder_name = wide ? static_cast<void*>(wide_folder.data())
                                     : static_cast<void*>(const_cast<char*>(folder.c_str()));
            void* dest = to_file ? folder_name : &block;
            const void* source = from_memory ? static_cast<const void*>(archive.data())
                                 : wide      ? static_cast<const void*>(wide_name.c_str())
                                             : static_cast<const void*>(name.c_str());
            const HostInt length = from_memory ? Size(archive) : position;
            const ProgressCallback callback = from_memory ? RecordProgress : nullptr;
            std::int32_t status =
                wide ? archive::GetFileW(faulty, source, length, dest, flags, callback,
                                         reinterpret_cast<HostInt>(&progress))
                     : archive::GetFile(faulty, source, length, dest, flags, callback,
                                        reinterpret_cast<HostInt>(&progress));
            EXPECT_EQ(block == nullptr, status != Ok || to_file);
            if (status == Ok && !to_file) {
              const auto* data = static_cast<const std::uint8_t*>(OsLocalLock(os, block));
              EXPECT_EQ(Bytes(data, data + expected.size()), expected);
              OsLocalUnlock(os, block);
              OsLocalFree(faulty, block);  // as the host frees it
            }
            return status;
          },
          [&](const SweepRun& run) {
            EXPECT_EQ(run.result, run.plan.injected ? ExpectedStatus(run.plan, from_memory) : Ok);
            EXPECT_EQ(run.plan.live_blocks, 0);
            if (to_file) {
              const Bytes on_disk = FileExists(written) ? ReadWholeFile(written) : Bytes{};
              EXPECT_TRUE(on_disk == expected || on_disk.empty()) << "a partly written member";
              EXPECT_EQ(on_disk == expected, run.result == Ok);
            }
          });
    }
  }
}

TEST(NscWriter, AnEmptyLastMemberIsAllowed) {
  // The format compares no boundary with the last: an empty last member is
  // valid, and listed by nothing but GetFileInfo.
  Bytes archive;
  std::string error;
  ASSERT_TRUE(PackNscArchive({Bytes{7, 7}, Bytes{}}, &archive, &error)) << error;
  EXPECT_EQ(archive, Concat(Table({kNscMagic, 16, 18, 18}), Bytes{7, 7}));
  const Listing listing = List(archive);
  ASSERT_EQ(listing.status, Ok);
  EXPECT_EQ(Names(listing), std::vector<std::string>{"1"});
  ArchiveMemberRecord record{};
  ASSERT_EQ(Archive().GetFileInfo(archive.data(), Size(archive), "2", 1, &record), Ok);
  EXPECT_EQ(record.stored_size, 0u);
  // One member alone is followed by an empty one, so it may not be empty.
  EXPECT_FALSE(PackNscArchive({Bytes{}}, &archive, &error));
}

TEST(NscWriter, RefusesWhatNoArchiveCanHold) {
  Bytes archive = {1};
  std::string error;
  EXPECT_FALSE(PackNscArchive({}, &archive, &error));
  EXPECT_FALSE(PackNscArchive({Bytes{1}, Bytes{}, Bytes{2}}, &archive, &error));
  EXPECT_EQ(archive, Bytes{1});
  ASSERT_TRUE(PackNscArchive({Bytes{5, 6}}, &archive, &error));
  EXPECT_EQ(archive, Concat(Table({kNscMagic, 16, 18, 18}), Bytes{5, 6}));
}

}  // namespace
