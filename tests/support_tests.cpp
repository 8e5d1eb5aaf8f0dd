// Tests of the support library: the platform layer (the same tests run against
// the POSIX stand-in natively and against Win32 under Wine, so the stand-in is
// held to what the real functions do), the input source, result blocks and
// the plug-in information lookup through both plug-ins' exports.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#ifndef _WIN32
#include <sys/mman.h>
#include <sys/resource.h>
#else
#include <windows.h>
#undef far  // Windows' old pointer words, which the tests use as names
#undef near
#endif

#include "archive/archive_plugin.h"
#include "picture/picture_plugin.h"
#include "plugin_host/plugin_host.h"
#include "support/input_source.h"
#include "support/result_block.h"
#include "support/text_encoding.h"
#include "tests/fault_sweep.h"
#include "tests/platform_faults.h"
#include "tests/test_files.h"
#include "writers/gcmp_writer.h"

namespace {

const Platform& os = SystemPlatform();

#ifdef _WIN32
constexpr bool kOnWindows = true;
#else
constexpr bool kOnWindows = false;
#endif

// `size` bytes of memory at or above 2 GiB, as a large-address-aware 32-bit
// host may hold them, or null where the process has none there.
void* MemoryAbove2GiB(std::size_t size) {
#ifdef _WIN32
  return VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT | MEM_TOP_DOWN, PAGE_READWRITE);
#else
  void* memory = mmap(reinterpret_cast<void*>(std::uintptr_t{0xA0000000u}), size,
                      PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return memory == MAP_FAILED ? nullptr : memory;
#endif
}

Bytes Counting(std::size_t size) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);
  return bytes;
}

std::uint64_t Position(FileHandle file) { return FilePosition(file); }

std::uint64_t MoveTo(FileHandle file, std::int64_t distance, std::uint32_t method) {
  std::uint64_t position = ~std::uint64_t{0};
  return OsSetFilePointer(os, file, distance, method, &position) ? position : ~std::uint64_t{0};
}

// ---- platform layer ----

TEST(Platform, OpenFailuresGiveWindowsErrorCodes) {
  TempDir dir;
  EXPECT_EQ(OsCreateFile(os, dir.File("missing").c_str(), kGenericRead, kShareRead, kOpenExisting),
            kInvalidHandle);
  EXPECT_EQ(OsGetLastError(os), kErrorFileNotFound);
  EXPECT_EQ(OsCreateFile(os, dir.File("no-dir/x").c_str(), kGenericRead, kShareRead, kOpenExisting),
            kInvalidHandle);
  EXPECT_EQ(OsGetLastError(os), kErrorPathNotFound);
  EXPECT_FALSE(OsCloseHandle(os, reinterpret_cast<FileHandle>(0xFFF0)));
  EXPECT_EQ(OsGetLastError(os), kErrorInvalidHandle);
  EXPECT_TRUE(OsCloseHandle(os, kInvalidHandle)) << "the current process's pseudo-handle";
}

// Failures the system gives on demand, with the codes Windows gives for them.
TEST(Platform, SystemFailuresGiveWindowsErrorCodes) {
  TempDir dir;
  const std::string file = dir.File("file");
  WriteFile(file, {1, 2, 3});
  struct Case {
    const char* what;
    std::string name;
    std::uint32_t access;
    std::uint32_t error;
  } cases[] = {
      {"a folder opened for writing", dir.File(""), kGenericWrite, kErrorAccessDenied},
      {"a file used as a folder", file + "/x", kGenericRead, kErrorPathNotFound},
      {"a name of 300 characters", dir.File(std::string(300, 'n')), kGenericRead,
       kErrorFilenameTooLong},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(OsCreateFile(os, c.name.c_str(), c.access, kShareRead, kOpenAlways), kInvalidHandle);
    EXPECT_EQ(OsGetLastError(os), c.error);
  }
}

#ifndef _WIN32
// The POSIX stand-in's own ways to fail: a full disk, and no descriptors left.
TEST(Platform, FullDiskAndNoDescriptorsLeftGiveWindowsErrorCodes) {
  FileHandle full = OsCreateFile(os, "/dev/full", kGenericWrite, kShareNone, kOpenExisting);
  ASSERT_NE(full, kInvalidHandle);
  std::uint32_t done = 1;
  EXPECT_FALSE(OsWriteFile(os, full, "x", 1, &done));
  EXPECT_EQ(OsGetLastError(os), kErrorDiskFull);
  EXPECT_EQ(done, 0u);
  OsCloseHandle(os, full);

  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit none = saved;
  none.rlim_cur = 0;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &none), 0);
  const FileHandle refused = OsCreateFile(os, "/dev/null", kGenericRead, kShareRead, kOpenExisting);
  const std::uint32_t error = OsGetLastError(os);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
  EXPECT_EQ(refused, kInvalidHandle);
  EXPECT_EQ(error, kErrorTooManyOpenFiles);
}
#endif

TEST(Platform, BackslashSeparatesAndReadOpensShare) {
  TempDir dir;
  std::filesystem::create_directory(dir.path / "sub");
  WriteFile(dir.File("sub/f"), Counting(10));
  const std::string name = dir.path.string() + "\\sub\\f";
  FileHandle first = OsCreateFile(os, name.c_str(), kGenericRead, kShareRead, kOpenExisting);
  FileHandle second = OsCreateFile(os, name.c_str(), kGenericRead, kShareRead, kOpenExisting);
  ASSERT_NE(first, kInvalidHandle);
  ASSERT_NE(second, kInvalidHandle);
  std::uint8_t buffer[16];
  std::uint32_t done = 99;
  EXPECT_TRUE(OsReadFile(os, first, buffer, 16, &done));
  EXPECT_EQ(done, 10u) << "a read at end of file is short, not failed";
  EXPECT_TRUE(OsReadFile(os, first, buffer, 16, &done));
  EXPECT_EQ(done, 0u);
  EXPECT_TRUE(OsCloseHandle(os, first));
  EXPECT_TRUE(OsCloseHandle(os, second));
}

TEST(Platform, OpenAlwaysKeepsExistingBytesUntilEndOfFileIsSet) {
  TempDir dir;
  const std::string name = dir.File("out");
  WriteFile(name, Counting(8));
  FileHandle file = OsCreateFile(os, name.c_str(), kGenericWrite, kShareNone, kOpenAlways);
  ASSERT_NE(file, kInvalidHandle);
  std::uint32_t done = 0;
  EXPECT_TRUE(OsWriteFile(os, file, "ab", 2, &done));
  EXPECT_EQ(done, 2u);
  OsCloseHandle(os, file);
  Bytes kept = Counting(8);
  kept[0] = 'a';
  kept[1] = 'b';
  EXPECT_EQ(ReadWholeFile(name), kept);

  file = OsCreateFile(os, name.c_str(), kGenericWrite, kShareNone, kOpenAlways);
  EXPECT_TRUE(OsWriteFile(os, file, "xyz", 3, &done));
  EXPECT_TRUE(OsSetEndOfFile(os, file));
  OsCloseHandle(os, file);
  EXPECT_EQ(ReadWholeFile(name), (Bytes{'x', 'y', 'z'}));

  file = OsCreateFile(os, dir.File("new").c_str(), kGenericWrite, kShareNone, kOpenAlways);
  EXPECT_NE(file, kInvalidHandle) << "OPEN_ALWAYS creates a missing file";
  OsCloseHandle(os, file);
}

TEST(Platform, PositioningIs64BitAndRefusesNegativeTargets) {
  TempDir dir;
  WriteFile(dir.File("f"), Counting(100));
  FileHandle file =
      OsCreateFile(os, dir.File("f").c_str(), kGenericRead, kShareRead, kOpenExisting);
  ASSERT_NE(file, kInvalidHandle);
  const std::uint64_t refused = ~std::uint64_t{0};
  EXPECT_EQ(MoveTo(file, 40, kFileBegin), 40u);
  EXPECT_EQ(MoveTo(file, 5, kFileCurrent), 45u);
  EXPECT_EQ(MoveTo(file, -50, kFileCurrent), refused);
  EXPECT_EQ(OsGetLastError(os), kErrorNegativeSeek);
  EXPECT_EQ(MoveTo(file, -1, kFileBegin), refused);
  EXPECT_EQ(Position(file), 45u) << "a refused positioning leaves the position";
  EXPECT_EQ(MoveTo(file, 1000, kFileBegin), 1000u) << "past the end is allowed";
  EXPECT_EQ(MoveTo(file, 0x123456789, kFileBegin), 0x123456789u) << "and past 4 GiB";
  EXPECT_TRUE(OsSetFilePointer(os, file, 7, kFileBegin)) << "the position may be left unasked";
  EXPECT_EQ(Position(file), 7u);
  OsCloseHandle(os, file);
}

TEST(Platform, MovableBlocksCountLocksAndZeroBytesAreDiscarded) {
  MemoryHandle block = OsLocalAlloc(os, kLocalMoveable, 16);
  ASSERT_NE(block, nullptr);
  void* first = OsLocalLock(os, block);
  void* second = OsLocalLock(os, block);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, second);
  EXPECT_TRUE(OsLocalUnlock(os, block)) << "still locked once";
  EXPECT_FALSE(OsLocalUnlock(os, block)) << "now unlocked";
  EXPECT_EQ(OsGetLastError(os), kErrorSuccess);
  EXPECT_EQ(OsLocalFree(os, block), nullptr);

  MemoryHandle empty = OsLocalAlloc(os, kLocalMoveable, 0);
  ASSERT_NE(empty, nullptr) << "a 0-byte movable block is created";
  EXPECT_EQ(OsLocalLock(os, empty), nullptr) << "but it is discarded and cannot be locked";
  EXPECT_EQ(OsLocalFree(os, empty), nullptr);

  // A 32-bit process cannot get 4 GiB less 16 bytes. A 64-bit one may, on
  // Windows and from the POSIX stand-in alike (which sets no limit of its
  // own); untouched, such a block costs no memory.
  MemoryHandle huge = OsLocalAlloc(os, kLocalMoveable | kLocalZeroInit, 0xFFFFFFF0u);
  if (!kIs64BitEdition) {
    EXPECT_EQ(huge, nullptr);
    EXPECT_EQ(OsGetLastError(os), kErrorNotEnoughMemory);
  } else if (huge != nullptr) {
    EXPECT_EQ(OsLocalSize(os, huge), 0xFFFFFFF0u);
    EXPECT_EQ(OsLocalFree(os, huge), nullptr);
  }
}

TEST(Platform, FaultPlanFailsTheChosenCallAndCountsWhatIsOutstanding) {
  TempDir dir;
  WriteFile(dir.File("f"), Counting(4));
  FaultPlan plan;
  plan.only = FaultCall::ReadFile;
  plan.fail_at = 2;
  plan.error = kErrorDiskFull;
  Platform faulty = FaultyPlatform(&plan);
  FileHandle file =
      OsCreateFile(faulty, dir.File("f").c_str(), kGenericRead, kShareRead, kOpenExisting);
  MemoryHandle block = OsLocalAlloc(faulty, kLocalMoveable, 4);
  EXPECT_EQ(plan.open_handles, 1);
  EXPECT_EQ(plan.live_blocks, 1);
  std::uint8_t byte;
  std::uint32_t done;
  EXPECT_TRUE(OsReadFile(faulty, file, &byte, 1, &done));
  EXPECT_FALSE(plan.injected);
  EXPECT_FALSE(OsReadFile(faulty, file, &byte, 1, &done));
  EXPECT_TRUE(plan.injected);
  EXPECT_EQ(OsGetLastError(faulty), kErrorDiskFull);
  EXPECT_TRUE(OsReadFile(faulty, file, &byte, 1, &done)) << "only the chosen call fails";
  OsCloseHandle(faulty, file);
  OsLocalFree(faulty, block);
  EXPECT_EQ(plan.open_handles, 0);
  EXPECT_EQ(plan.live_blocks, 0);
}

TEST(Platform, FaultPlanCountsOnlyTheHandlesItOpened) {
  // A close of "no handle", of a handle the plan did not open, or a second
  // close, must not make up for a handle that was left open.
  TempDir dir;
  WriteFile(dir.File("f"), Counting(4));
  const std::string name = dir.File("f");
  FaultPlan plan;
  const Platform counting = FaultyPlatform(&plan);
  FileHandle mine = OsCreateFile(counting, name.c_str(), kGenericRead, kShareRead, kOpenExisting);
  ASSERT_NE(mine, kInvalidHandle);
  EXPECT_EQ(plan.open_handles, 1);
  EXPECT_TRUE(OsCloseHandle(counting, kInvalidHandle)) << "the system accepts it";
  FileHandle theirs = OsCreateFile(os, name.c_str(), kGenericRead, kShareRead, kOpenExisting);
  EXPECT_TRUE(OsCloseHandle(counting, theirs));
  EXPECT_EQ(plan.open_handles, 1) << "still open: mine";
  EXPECT_TRUE(OsCloseHandle(counting, mine));
  EXPECT_EQ(plan.open_handles, 0);
  OsCloseHandle(counting, mine);
  EXPECT_EQ(plan.open_handles, 0) << "a second close counts nothing";
}

// ---- input source ----

TEST(InputSource, MemoryReadsPastTheEndGiveZeros) {
  const Bytes data = {1, 2, 3, 4, 5};
  InputSource input;
  ASSERT_TRUE(OpenSource(input, os, data.data(), 5, 0x1));
  std::uint8_t out[12];
  std::memset(out, 0xEE, sizeof out);
  ASSERT_TRUE(ReadSource(input, out, 12));
  EXPECT_EQ(Bytes(out, out + 12), (Bytes{1, 2, 3, 4, 5, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(input.status, Ok);
  CloseSource(input);
}

TEST(InputSource, MemorySeeksStopBeforeTheEnd) {
  const Bytes data = Counting(10);
  for (auto seek : {SeekFromBase, SeekAbsolute}) {
    InputSource input;
    OpenSource(input, os, data.data(), 10, 0x7F01);  // other flag bits change nothing
    ASSERT_TRUE(seek(input, 9));
    EXPECT_EQ(input.cur, data.data() + 9);
    EXPECT_FALSE(seek(input, 10));
    EXPECT_EQ(input.status, MemoryError);
    EXPECT_EQ(input.os_error, 0u);
    EXPECT_EQ(input.cur, data.data() + 9) << "a failed seek leaves the position";
    EXPECT_FALSE(seek(input, 0xFFFFFFFFu));
  }
}

TEST(InputSource, FileOffsetsAndBothSeeks) {
  TempDir dir;
  const Bytes data = Counting(200);
  WriteFile(dir.File("f"), data);
  const std::string name = dir.File("f");
  InputSource input;
  ASSERT_TRUE(OpenSource(input, os, name.c_str(), 64, 0));
  EXPECT_EQ(input.base_offset, 64u);
  std::uint8_t byte = 0;
  ReadSource(input, &byte, 1);
  EXPECT_EQ(byte, data[64]);
  ASSERT_TRUE(SeekAbsolute(input, 0));
  ReadSource(input, &byte, 1);
  EXPECT_EQ(byte, data[0]);
  ASSERT_TRUE(SeekFromBase(input, 0));
  ReadSource(input, &byte, 1);
  EXPECT_EQ(byte, data[64]);
  // A target beyond the edition's signed distance is refused, not wrapped:
  // 64 + 0x7FFFFFFF is past it in the 32-bit edition; the 64-bit edition
  // reaches it (past the end of the file, where reads give zeros).
  EXPECT_EQ(SeekFromBase(input, 0x7FFFFFFFu), kIs64BitEdition);
  EXPECT_EQ(input.status, kIs64BitEdition ? Ok : ReadError);
  CloseSource(input);
  EXPECT_EQ(input.handle, kInvalidHandle);

  // Offset 0 does not position the file at all.
  FaultPlan plan;
  plan.only = FaultCall::SetFilePointer;
  Platform counting = FaultyPlatform(&plan);
  ASSERT_TRUE(OpenSource(input, counting, name.c_str(), 0, 0));
  CloseSource(input);
  EXPECT_EQ(plan.calls, 0u);
}

TEST(InputSource, FileOpenFailuresGiveReadError) {
  TempDir dir;
  WriteFile(dir.File("f"), Counting(10));
  struct Case {
    std::string name;
    std::int32_t offset;
    std::uint32_t os_error;
  } cases[] = {
      {dir.File("missing"), 0, kErrorFileNotFound},
      {dir.File("f"), -1, kErrorNegativeSeek},  // negative as a signed 32-bit offset
      {dir.File("f"), INT32_MIN, kErrorNegativeSeek},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name + " at " + std::to_string(c.offset));
    FaultPlan plan;
    Platform counting = FaultyPlatform(&plan);
    InputSource input;
    EXPECT_FALSE(OpenSource(input, counting, c.name.c_str(), c.offset, 0));
    EXPECT_EQ(input.status, ReadError);
    EXPECT_EQ(input.os_error, c.os_error);
    EXPECT_EQ(input.handle, kInvalidHandle);
    EXPECT_EQ(plan.open_handles, 0) << "the file is closed again";
    CloseSource(input);
  }
}

TEST(InputSource, ProbeWordChoosesHandleOrHeadBlock) {
  InputSource input;
  ASSERT_TRUE(OpenProbe(input, os, "ignored", 0x00010000u));
  EXPECT_EQ(input.base, reinterpret_cast<const std::uint8_t*>(0x00010000u));
  EXPECT_EQ(input.end - input.base, 2048);
  CloseSource(input);
  // 0xFFFF is a handle, and not an open one.
  EXPECT_FALSE(OpenProbe(input, os, "ignored", 0x0000FFFFu));
  EXPECT_EQ(input.status, ReadError);
  EXPECT_EQ(input.os_error, kErrorInvalidHandle);
}

TEST(InputSource, TheWholeProbeWordIsCompared) {
  // Only a word of 0xFFFF or less is a handle: in the 64-bit edition an
  // address whose low 32 (or low 16) bits are zero is still an address.
  if constexpr (kIs64BitEdition) {
    for (std::uint64_t word : {std::uint64_t{1} << 32, std::uint64_t{0x7FFF} << 32 | 0x10000}) {
      InputSource input;
      ASSERT_TRUE(OpenProbe(input, os, nullptr, static_cast<std::uintptr_t>(word)));
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(input.base), word);
      EXPECT_EQ(input.end - input.base, 2048);
      EXPECT_EQ(input.handle, kInvalidHandle);
    }
  }
  // A head block at the very top of the address space cannot hold 2048
  // bytes: it is read as empty, never past the top.
  InputSource input;
  ASSERT_TRUE(OpenProbe(input, os, nullptr, UINTPTR_MAX - 100));
  EXPECT_EQ(input.end, input.base);
}

TEST(InputSource, ImpossibleMemoryLengthsAreEmptyBlocks) {
  const Bytes data = Counting(16);
  const void* near_top = reinterpret_cast<const void*>(UINTPTR_MAX - 15);
  struct Case {
    const void* block;
    HostInt length;
    std::ptrdiff_t readable;
  } cases[] = {
      {data.data(), 16, 16},        {data.data(), 0, 0}, {data.data(), -1, 0},
      {data.data(), INTPTR_MIN, 0}, {near_top, 16, 0},   {near_top, 15, 15},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    InputSource input;
    ASSERT_TRUE(OpenSource(input, os, c.block, c.length, 1));
    EXPECT_EQ(input.end - input.base, c.readable);
    if (c.block == data.data()) {
      std::uint8_t out[20];
      ASSERT_TRUE(ReadSource(input, out, sizeof out));
      EXPECT_EQ(Bytes(out, out + c.readable), Bytes(data.begin(), data.begin() + c.readable));
      EXPECT_EQ(Bytes(out + c.readable, out + 20), Bytes(20 - c.readable, 0));
    }
  }
}

TEST(InputSource, WideNamesOpenAnyFile) {
  TempDir dir;
  const Bytes data = Counting(40);
  for (const char* name : {"日本語.bin", "naïve façade", "中文 空格", "😀"}) {
    SCOPED_TRACE(name);
    const std::filesystem::path path = dir.path / Widen(name);
    WriteFile(path, data);
    InputSource input;
    const std::u16string wide = WidePath(path);
    ASSERT_TRUE(OpenSource(input, os, wide.c_str(), 8, 0, TextKind::Wide));
    std::uint8_t byte = 0;
    ReadSource(input, &byte, 1);
    EXPECT_EQ(byte, data[8]);
    CloseSource(input);
  }
  InputSource input;
#ifndef _WIN32
  // A lone surrogate: Windows names may hold one, UTF-8 cannot spell it.
  const std::u16string lone = WidePath(dir.path) + u"/\xD800";
  EXPECT_FALSE(OpenSource(input, os, lone.c_str(), 0, 0, TextKind::Wide));
  EXPECT_EQ(input.os_error, kErrorInvalidName);
#endif
  const std::u16string missing = WidePath(dir.path / Widen("無い"));
  EXPECT_FALSE(OpenSource(input, os, missing.c_str(), 0, 0, TextKind::Wide));
  EXPECT_EQ(input.status, ReadError);
  EXPECT_EQ(input.os_error, kErrorFileNotFound);
}

TEST(TextEncoding, Utf16AndUtf8RoundTripAndRefuseWhatCannotBeSpelled) {
  const std::string samples[] = {"",       "plain", "café",
                                 "日本語", "😀x",    "\x7F\xC2\x80\xF4\x8F\xBF\xBF"};
  for (const std::string& text : samples) {
    std::u16string wide;
    std::string back;
    ASSERT_TRUE(Utf16FromUtf8(text, &wide)) << text;
    ASSERT_TRUE(Utf8FromUtf16(wide, &back));
    EXPECT_EQ(back, text);
  }
  std::u16string wide;
  EXPECT_TRUE(Utf16FromUtf8("\xF0\x9F\x98\x80", &wide));
  EXPECT_EQ(wide, u"\U0001F600");
  // Not UTF-8: a stray continuation, a cut sequence, overlong forms, a
  // surrogate, a value past U+10FFFF, bytes that never occur.
  for (const char* bad : {"\x80", "\xE6\x97", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80",
                          "\xF4\x90\x80\x80", "\xFF", "a\xC3"}) {
    EXPECT_FALSE(Utf16FromUtf8(bad, &wide)) << bad;
  }
  // Lone surrogates have no UTF-8 spelling; the POSIX stand-in cannot open
  // such a name (Windows file names may hold them).
  // jamcg carries them as three bytes each (WTF-8), and back.
  std::string text;
  for (const char16_t* lone : {u"\xD800", u"a\xDC00", u"\xD83D"}) {
    EXPECT_FALSE(Utf8FromUtf16(lone, &text));
    ASSERT_TRUE(Utf8FromUtf16(lone, &text, true));
    EXPECT_FALSE(Utf16FromUtf8(text, &wide));
    ASSERT_TRUE(Utf16FromUtf8(text, &wide, true));
    EXPECT_EQ(wide, lone);
  }
}

TEST(InputSource, LentHandleIsPutBackWhereItWas) {
  TempDir dir;
  WriteFile(dir.File("f"), Counting(5000));
  FileHandle file =
      OsCreateFile(os, dir.File("f").c_str(), kGenericRead, kShareRead, kOpenExisting);
  ASSERT_NE(file, kInvalidHandle);
  OsSetFilePointer(os, file, 123, kFileBegin);
  InputSource input;
  ASSERT_TRUE(OpenProbe(input, os, nullptr, reinterpret_cast<std::uintptr_t>(file)));
  EXPECT_EQ(input.base_offset, 123u);
  EXPECT_TRUE(input.borrowed);
  std::uint8_t buffer[3000];
  ReadSource(input, buffer, sizeof buffer);
  EXPECT_EQ(buffer[0], Counting(124)[123]);
  CloseSource(input);
  EXPECT_EQ(Position(file), 123u) << "back at the host's position";
  EXPECT_TRUE(OsCloseHandle(os, file)) << "and still open";
}

TEST(InputSource, LentHandlePast2GiBIsPutBackToo) {
  // A host's handle 3 GiB into a (sparse) file goes back there, not to a
  // position cut to 32 bits.
  TempDir dir;
  const std::uint64_t far = 3ull << 30;
  WriteSparseFile(dir.path / "big", far + 16, {{far, Counting(16)}});
  FileHandle file =
      OsCreateFile(os, dir.File("big").c_str(), kGenericRead, kShareRead, kOpenExisting);
  ASSERT_NE(file, kInvalidHandle);
  ASSERT_TRUE(OsSetFilePointer(os, file, static_cast<std::int64_t>(far), kFileBegin));
  InputSource input;
  if (OpenProbe(input, os, nullptr, reinterpret_cast<std::uintptr_t>(file))) {
    std::uint8_t bytes[4];
    ReadSource(input, bytes, sizeof bytes);
    EXPECT_EQ(bytes[0], Counting(1)[0]);
    CloseSource(input);
  }
  EXPECT_EQ(FilePosition(file), far);
  OsCloseHandle(os, file);
}

TEST(InputSource, HostMemoryAbove2GiBIsReadLikeAnyOther) {
  // A 32-bit host that is large-address-aware hands over addresses with the
  // top bit set: memory sources and probe words there read as anywhere else.
  if (kIs64BitEdition) return;  // every address of a 64-bit host is tested elsewhere
  Bytes picture;
  const Bytes pixels(3 * 5 * 9, 0x5A);
  ASSERT_TRUE(EncodeGcmpPicture(pixels.data(), 5, 9, &picture));
  const std::size_t size = 1 << 16;
  auto* high = static_cast<std::uint8_t*>(MemoryAbove2GiB(size));
  if (high == nullptr || reinterpret_cast<std::uintptr_t>(high) < 0x80000000u) {
    std::printf("no memory above 2 GiB in this process: not checked\n");
    return;
  }
  std::memcpy(high, picture.data(), picture.size());
  const HostInt length = static_cast<HostInt>(picture.size());
  PictureInfoRecord record{};
  EXPECT_EQ(picture::GetPictureInfo(os, high, length, kInputMemory, &record), Ok);
  EXPECT_EQ(record.width, 5);
  EXPECT_EQ(picture::IsSupported(os, "", reinterpret_cast<std::uintptr_t>(high)), 1);
  MemoryHandle info = nullptr, bits = nullptr;
  ASSERT_EQ(picture::GetPicture(os, high, length, kInputMemory, &info, &bits, nullptr, 0), Ok);
  TakeBlock(info);
  const Bytes dib = TakeBlock(bits);
  ASSERT_EQ(dib.size(), 16u * 9);  // rows of 15 bytes and 1 of padding
  for (std::size_t row = 0; row < 9; ++row)
    EXPECT_EQ(Bytes(dib.begin() + 16 * row, dib.begin() + 16 * row + 15), Bytes(15, 0x5A));
  MemoryHandle copy = nullptr;
  ASSERT_EQ(archive::GetFile(os, high, length, &copy, kInputMemory | kOutputMemory, nullptr, 0),
            Ok);
  EXPECT_EQ(TakeBlock(copy), picture);
}

TEST(ResultBlock, AllocationFailuresLeaveSlotAndPointerNull) {
  struct Case {
    std::uint32_t size;
    std::int32_t status;
  } cases[] = {{0, MemoryError}, {0xFFFFFFF0u, NoMemory}};
  for (const Case& c : cases) {
    FaultPlan plan;
    plan.largest_block = 1u << 30;  // a platform that cannot supply 4 GiB
    Platform counting = FaultyPlatform(&plan);
    InputSource input;
    OpenSource(input, counting, "", 0, 1);
    MemoryHandle slot = reinterpret_cast<MemoryHandle>(1);
    void* pointer = &slot;
    EXPECT_FALSE(AllocResultBlock(input, &slot, &pointer, c.size));
    EXPECT_EQ(input.status, c.status);
    EXPECT_EQ(slot, nullptr);
    EXPECT_EQ(pointer, nullptr);
    EXPECT_EQ(plan.live_blocks, 0);
  }
}

TEST(ResultBlock, EveryFailurePointIsRecordedAndReleased) {
  SweepFaults(
      FaultCall::Any, kErrorNotEnoughMemory,
      [](const Platform& faulty) {
        InputSource input;
        OpenSource(input, faulty, "", 0, 1);
        MemoryHandle slot = nullptr;
        void* pointer = nullptr;
        if (!AllocResultBlock(input, &slot, &pointer, 64)) {
          EXPECT_EQ(slot, nullptr);
          EXPECT_EQ(pointer, nullptr);
          EXPECT_EQ(input.os_error, kErrorNotEnoughMemory);
          return input.status;
        }
        FreeResultBlock(faulty, &slot);
        EXPECT_EQ(slot, nullptr);
        return input.status;
      },
      [](const SweepRun& run) {
        EXPECT_EQ(run.plan.live_blocks, 0);
        const std::int32_t expected = !run.plan.injected    ? Ok
                                      : run.plan.calls == 1 ? NoMemory
                                                            : MemoryError;
        EXPECT_EQ(run.result, expected);
      });
}

TEST(InputSource, EveryFileFailurePointGivesReadError) {
  TempDir dir;
  WriteFile(dir.File("f"), Counting(300));
  const std::string name = dir.File("f");
  SweepFaults(
      FaultCall::Any, kErrorReadFault,
      [&](const Platform& faulty) {
        InputSource input;
        std::uint8_t buffer[100];
        bool ok = OpenSource(input, faulty, name.c_str(), 10, 0) &&
                  ReadSource(input, buffer, 100) && SeekAbsolute(input, 5) &&
                  ReadSource(input, buffer, 100);
        EXPECT_EQ(ok, input.status == Ok);
        if (!ok) {
          EXPECT_EQ(input.os_error, kErrorReadFault);
        }
        CloseSource(input);
        return input.status;
      },
      [](const SweepRun& run) { EXPECT_EQ(run.result, run.plan.injected ? ReadError : Ok); });
}

// ---- plug-in information ----

TEST(PluginInfo, EntriesOfBothPlugins) {
  struct Case {
    const char* plugin;
    std::int32_t number;
    std::int32_t length;
    const char* text;
    std::int32_t result;
  } cases[] = {
      {"archive", 0, 5, "00AM", 4},
      {"archive", 0, 4, "00A", 3},
      {"archive", 1, 10, "Vizuz - N", 9},
      {"archive", 1, 260, "Vizuz - NSC archive extractor  ver0.03  (c) Vizuz authors", 57},
      {"archive", 2, 260, "*.nsc", 5},
      {"archive", 3, 260, "Jam/PIL CG Archive (*.NSC)", 26},
      {"archive", 2, 1, "", 0},
      {"picture", 0, 260, "00IN", 4},
      {"picture", 1, 260, "Orbelint - GCmpSH0 picture loader ver0.03  (c) Orbelint authors", 63},
      {"picture", 2, 260, "*.*", 3},
      {"picture", 3, 260, "Jam/PIL CG (GCmpSH0 format)", 27},
      {"picture", 3, 1, "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.plugin) + " entry " + std::to_string(c.number) + " in " +
                 std::to_string(c.length));
    auto info =
        std::string(c.plugin) == "archive" ? Archive().GetPluginInfo : Picture().GetPluginInfo;
    char buffer[300];
    std::memset(buffer, 'X', sizeof buffer);
    EXPECT_EQ(info(c.number, buffer, c.length), c.result);
    EXPECT_STREQ(buffer, c.text);
    for (std::int32_t i = static_cast<std::int32_t>(std::strlen(c.text)); i < c.length; ++i)
      EXPECT_EQ(buffer[i], '\0') << "zero-filled at " << i;
    EXPECT_EQ(buffer[c.length], 'X') << "nothing written past the buffer";

    // GetPluginInfoW: the same text in UTF-16, lengths counted in units.
    auto info_w =
        std::string(c.plugin) == "archive" ? Archive().GetPluginInfoW : Picture().GetPluginInfoW;
    ASSERT_NE(info_w, nullptr);
    char16_t wide[300];
    std::fill(std::begin(wide), std::end(wide), u'X');
    EXPECT_EQ(info_w(c.number, wide, c.length), c.result);
    EXPECT_EQ(Narrow(wide), c.text);
    for (std::int32_t i = static_cast<std::int32_t>(std::strlen(c.text)); i < c.length; ++i)
      EXPECT_EQ(wide[i], 0) << "zero-filled at " << i;
    EXPECT_EQ(wide[c.length], u'X') << "nothing written past the buffer";
  }
}

TEST(PluginInfo, MissingEntriesAndEmptyBuffersWriteNothingInEitherWidth) {
  for (auto info_w : {Archive().GetPluginInfoW, Picture().GetPluginInfoW}) {
    for (auto [number, length] : {std::pair{4, 260}, {-1, 260}, {0, 0}, {1, -1}}) {
      char16_t buffer[300];
      std::fill(std::begin(buffer), std::end(buffer), u'X');
      EXPECT_EQ(info_w(number, buffer + 4, length), 0) << number << " in " << length;
      EXPECT_EQ(std::u16string(buffer, 300), std::u16string(300, u'X'));
    }
  }
}

TEST(PluginInfo, MissingEntriesAndEmptyBuffersWriteNothing) {
  for (auto info : {Archive().GetPluginInfo, Picture().GetPluginInfo}) {
    for (auto [number, length] : {std::pair{4, 260},
                                  {5, 260},
                                  {-1, 260},
                                  {INT32_MIN, 260},
                                  {0, 0},
                                  {1, -1},
                                  {0, INT32_MIN}}) {
      char buffer[300];
      std::memset(buffer, 'X', sizeof buffer);
      EXPECT_EQ(info(number, buffer + 4, length), 0) << number << " in " << length;
      EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, 'X'))
          << number << " in " << length;
    }
  }
}

}  // namespace
