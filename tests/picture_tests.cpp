// Tests of the picture plug-in: the header checks, IsSupported and
// GetPictureInfo, the pixel decoder on hand-made streams and against a plain
// model of the format, GetPicture's DIB, progress and failures, and round
// trips through the GCmpSH0 writer. In the Windows build the exports are
// those of orbelint.spi.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "picture/picture_plugin.h"
#include "picture/pixel_decoder.h"
#include "support/result_block.h"
#include "tests/fault_sweep.h"
#include "tests/model_decoder.h"
#include "tests/test_files.h"
#include "plugin_host/plugin_host.h"
#include "writers/gcmp_writer.h"

namespace {

const Platform& os = SystemPlatform();

HostInt Size(const Bytes& b) { return static_cast<HostInt>(b.size()); }

Bytes Header(std::int16_t width, std::int16_t height, std::int16_t depth = 24,
             std::int16_t reserved = 0, std::uint8_t eighth = 0) {
  Bytes bytes = {'G', 'C', 'm', 'p', 'S', 'H', '0', eighth};
  for (std::int16_t field : {width, height, depth, reserved}) {
    bytes.push_back(static_cast<std::uint8_t>(field));
    bytes.push_back(static_cast<std::uint8_t>(static_cast<std::uint16_t>(field) >> 8));
  }
  return bytes;
}

// ---- header, IsSupported, GetPictureInfo, GetPreview ----

TEST(PictureHeader, RulesOfTheHeader) {
  struct Case {
    Bytes header;
    bool valid;
  } cases[] = {
      {Header(1, 9), true},
      {Header(1, 8), false},
      {Header(32767, 32767), true},
      {Header(-1, 9), false},
      {Header(INT16_MIN, 9), false},
      {Header(0, 9), false},
      {Header(5, -9), false},
      {Header(5, 9, 8), false},
      {Header(5, 9, 32), false},
      {Header(5, 9, 24, 1), false},
      {Header(5, 9, 24, 0, '!'), false},
      {Bytes{'G', 'C', 'm', 'p', 'S', 'H', '1', 0, 5, 0, 9, 0, 24, 0, 0, 0}, false},
      {Bytes{'G', 'C', 'm', 'p', 'S', 'H', '0', 0, 5, 0, 9, 0}, false},  // 12 bytes: depth reads 0
  };
  for (const Case& c : cases) {
    PictureInfoRecord record;
    std::memset(&record, 0x5A, sizeof record);
    const std::int32_t status = Picture().GetPictureInfo(
        c.header.data(), static_cast<std::int32_t>(c.header.size()), 0x1, &record);
    EXPECT_EQ(status, c.valid ? Ok : UnsupportedFormat) << testing::PrintToString(c.header);
    Bytes head = c.header;
    head.resize(2048);
    EXPECT_EQ(Picture().IsSupported("x", reinterpret_cast<std::uintptr_t>(head.data())),
              c.valid ? 1 : 0);
    if (!c.valid) {
      PictureInfoRecord untouched;
      std::memset(&untouched, 0x5A, sizeof untouched);
      EXPECT_EQ(std::memcmp(&record, &untouched, sizeof record), 0) << "record written on failure";
    }
  }
}

TEST(PictureInfo, RecordFromMemoryAndFromAFileOffset) {
  TempDir dir;
  const Bytes picture = Concat(Header(640, 480), Bytes(10, 0xA0));
  WriteFile(dir.File("p"), Concat(Bytes(100, 0xEE), picture));
  PictureInfoRecord from_memory, from_file;
  ASSERT_EQ(Picture().GetPictureInfo(picture.data(), static_cast<std::int32_t>(picture.size()), 0x1,
                                     &from_memory),
            Ok);
  ASSERT_EQ(Picture().GetPictureInfo(dir.File("p").c_str(), 100, 0, &from_file), Ok);
  for (const PictureInfoRecord& r : {from_memory, from_file}) {
    EXPECT_EQ(+r.left, 0);
    EXPECT_EQ(+r.top, 0);
    EXPECT_EQ(+r.width, 640);
    EXPECT_EQ(+r.height, 480);
    EXPECT_EQ(+r.x_density, 0);
    EXPECT_EQ(+r.y_density, 0);
    EXPECT_EQ(+r.color_depth, 24);
    EXPECT_EQ(+r.info_handle, 0u);
  }
  PictureInfoRecord record{};
  EXPECT_EQ(Picture().GetPictureInfo(dir.File("p").c_str(), 0, 0, &record), UnsupportedFormat);
  EXPECT_EQ(Picture().GetPictureInfo(dir.File("missing").c_str(), 0, 0, &record), ReadError);
  EXPECT_EQ(Picture().GetPictureInfo(dir.File("p").c_str(), -16, 0, &record), ReadError);
}

TEST(PictureInfo, IsSupportedLeavesALentHandleWhereItWas) {
  TempDir dir;
  WriteFile(dir.File("p"), Concat(Bytes(7, 0), Header(3, 9)));
  FileHandle file =
      OsCreateFile(os, dir.File("p").c_str(), kGenericRead, kShareRead, kOpenExisting);
  ASSERT_NE(file, kInvalidHandle);
  const auto probe = reinterpret_cast<std::uintptr_t>(file);
  EXPECT_EQ(Picture().IsSupported("p", probe), 0) << "the header is 7 bytes further on";
  EXPECT_EQ(FilePosition(file), 0u);
  OsSetFilePointer(os, file, 7, kFileBegin);
  EXPECT_EQ(Picture().IsSupported("p", probe), 1);
  EXPECT_EQ(FilePosition(file), 7u);
  OsCloseHandle(os, file);
  EXPECT_EQ(Picture().IsSupported("p", 0x1234), 0) << "not an open handle";
}

TEST(PictureInfo, GetPreviewIsNotProvided) {
  EXPECT_EQ(Picture().GetPreview(nullptr, 0, 0, nullptr, nullptr, nullptr, 0), NotImplemented);
  ASSERT_NE(Picture().GetPreviewW, nullptr);
  EXPECT_EQ(Picture().GetPreviewW(nullptr, 0, 0, nullptr, nullptr, nullptr, 0), NotImplemented);
}

TEST(PictureInfo, EveryFailurePointOfTheHeaderExports) {
  TempDir dir;
  WriteFile(dir.File("p"), Concat(Bytes(5, 0), Header(3, 9)));
  const std::string name = dir.File("p");
  SweepFaults(
      FaultCall::Any, kErrorReadFault,
      [&](const Platform& faulty) {
        PictureInfoRecord record{};
        record.width = -7;
        std::int32_t status = picture::GetPictureInfo(faulty, name.c_str(), 5, 0, &record);
        EXPECT_EQ(+record.width, status == Ok ? 3 : -7);
        return status;
      },
      [](const SweepRun& run) { EXPECT_EQ(run.result, run.plan.injected ? ReadError : Ok); });
  const std::u16string wide_name = Widen(name);
  SweepFaults(
      FaultCall::Any, kErrorReadFault,
      [&](const Platform& faulty) {
        PictureInfoRecord record{};
        record.width = -7;
        std::int32_t status = picture::GetPictureInfoW(faulty, wide_name.c_str(), 5, 0, &record);
        EXPECT_EQ(+record.width, status == Ok ? 3 : -7);
        return status;
      },
      [](const SweepRun& run) { EXPECT_EQ(run.result, run.plan.injected ? ReadError : Ok); });
  FileHandle file = OsCreateFile(os, name.c_str(), kGenericRead, kShareRead, kOpenExisting);
  OsSetFilePointer(os, file, 5, kFileBegin);
  SweepFaults(
      FaultCall::Any, kErrorReadFault,
      [&](const Platform& faulty) {
        OsSetFilePointer(os, file, 5, kFileBegin);
        return picture::IsSupported(faulty, "p", reinterpret_cast<std::uintptr_t>(file));
      },
      [&](const SweepRun& run) {
        // The one failure that leaves the answer 1 is that of putting the
        // handle back, which IsSupported has no way to report.
        const bool restore_failed = run.plan.injected && run.result == 1;
        EXPECT_EQ(run.result, run.plan.injected && !restore_failed ? 0 : 1);
        if (!restore_failed) {
          EXPECT_EQ(FilePosition(file), 5u);
        }
      });
  OsCloseHandle(os, file);
}

// ---- pixel decoder ----

// The colour in the decoder's logical table slot `slot` (0 = most recent).
std::uint32_t RecentColor(const PixelDecoder& decoder, std::uint32_t slot) {
  return decoder.recent_colors[decoder.front + slot];
}

struct TestDecoder {
  Bytes stream;
  InputSource input;
  PixelDecoder decoder;
};

void Prime(TestDecoder& t, Bytes stream) {
  t.stream = std::move(stream);
  OpenSource(t.input, os, t.stream.data(), static_cast<std::int32_t>(t.stream.size()), 0x1);
  ASSERT_TRUE(PrimeDecoder(t.decoder, t.input));
}

Bytes Row(TestDecoder& t, std::int32_t count, bool expect_ok = true) {
  Bytes out(3 * static_cast<std::size_t>(count < 0 ? 0 : count) + 1, 0xEE);
  EXPECT_EQ(DecodeRow(t.decoder, out.data(), count), expect_ok);
  EXPECT_EQ(out.back(), 0xEE) << "wrote past the row";
  out.pop_back();
  return out;
}

Bytes Pixels(std::initializer_list<std::uint32_t> colors, std::size_t repeat_each = 1) {
  Bytes out;
  for (std::uint32_t c : colors) {
    for (std::size_t i = 0; i < repeat_each; ++i) {
      out.push_back(static_cast<std::uint8_t>(c));
      out.push_back(static_cast<std::uint8_t>(c >> 8));
      out.push_back(static_cast<std::uint8_t>(c >> 16));
    }
  }
  return out;
}

TEST(PixelDecoder, HandMadeStreams) {
  struct Case {
    const char* what;
    Bytes stream;
    std::int32_t count;
    Bytes pixels;
    std::uint32_t front;  // table slot 0 afterwards
  } cases[] = {
      {"literal run", {0x05, 0x10, 0x20, 0x30}, 5, Pixels({0x302010}, 5), 0x302010},
      {"reference to the all-black table", {0xA0}, 1, Pixels({0}), 0},
      {"literal pushes black to slot 1",
       {0x02, 1, 2, 3, 0xE1},
       5,
       Concat(Pixels({0x030201}, 2), Pixels({0}, 3)),
       0},
      {"stream ends inside a token",
       {0x05, 0x10},
       7,
       Concat(Pixels({0x000010}, 5), Pixels({0}, 2)),
       0x000010},
      {"4-byte count 0 never ends",
       {0x00, 0, 0, 0, 0, 0xAA, 0xBB, 0xCC, 0x05, 1, 2, 3},
       5000,
       Pixels({0xCCBBAA}, 5000),
       0},
      {"long literal run",
       {0x00, 0x2C, 0x01, 0, 0, 9, 8, 7},
       300,
       Pixels({0x070809}, 300),
       0x070809},
      {"count 0 ends nothing within a 2-pixel request",
       {0x00, 0, 0, 0, 0, 4, 5, 6, 0xA1},
       2,
       Pixels({0x060504}, 2),
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestDecoder t;
    Prime(t, c.stream);
    EXPECT_EQ(Row(t, c.count), c.pixels);
    EXPECT_EQ(RecentColor(t.decoder, 0) & 0xFFFFFF, c.front);
  }
}

TEST(PixelDecoder, TableOrderAfterListsAndReferences) {
  // 01 06 c0..c5: six one-pixel literals; the table begins c5 .. c0.
  Bytes stream = {0x01, 0x06};
  for (std::uint8_t i = 0; i < 6; ++i) stream.insert(stream.end(), {i, 0x11, 0x22});
  const Bytes list = stream;
  const std::uint32_t c0 = 0x221100, c1 = 0x221101, c3 = 0x221103, c5 = 0x221105;
  stream.insert(stream.end(), {0x80, 0x85});  // run 1 of slot 5 (c0)
  TestDecoder t;
  Prime(t, stream);
  Row(t, 6);
  for (std::uint32_t s = 0; s < 6; ++s)
    EXPECT_EQ(RecentColor(t.decoder, s) & 0xFFFFFF, 0x221105u - s);
  EXPECT_EQ(Row(t, 1), Pixels({c0}));
  EXPECT_EQ(RecentColor(t.decoder, 0) & 0xFFFFFF, c0);
  EXPECT_EQ(RecentColor(t.decoder, 1) & 0xFFFFFF, c5);
  EXPECT_EQ(RecentColor(t.decoder, 5) & 0xFFFFFF, c1);
  EXPECT_EQ(RecentColor(t.decoder, 6), 0u) << "slots above the reference are untouched";

  // The long form: run 0 in the short fields, then the 4-byte count 256.
  Bytes long_ref = Concat(list, {0x80, 0x05, 0x00, 0x01, 0x00, 0x00, 0xA0});
  TestDecoder u;
  Prime(u, long_ref);
  Row(u, 6);
  EXPECT_EQ(Row(u, 256), Pixels({c0}, 256));
  EXPECT_EQ(Row(u, 1), Pixels({c0})) << "slot 0 is c0 now";

  // A reference to slot 2 with run 3 in the one-byte form.
  TestDecoder v;
  Prime(v, Concat(list, {0xE2}));
  Row(v, 6);
  EXPECT_EQ(Row(v, 3), Pixels({c3}, 3));
}

TEST(PixelDecoder, RunsSpanRowsAndMoveOnlyWhenTheyEnd) {
  TestDecoder t;
  Prime(t, {0x0A, 7, 7, 7, 0xA1});  // ten pixels of 070707, then slot 1 once
  EXPECT_EQ(Row(t, 4), Pixels({0x070707}, 4));
  EXPECT_EQ(RecentColor(t.decoder, 0), 0u) << "the run has not ended";
  EXPECT_EQ(Row(t, 4), Pixels({0x070707}, 4));
  EXPECT_EQ(Row(t, 4), Concat(Pixels({0x070707}, 2), Pixels({0}, 2)));
  EXPECT_EQ(RecentColor(t.decoder, 0), 0u) << "slot 1 (black) moved to the front";
  EXPECT_EQ(RecentColor(t.decoder, 1) & 0xFFFFFF, 0x070707u);
  EXPECT_TRUE(Row(t, 0).empty());
  EXPECT_TRUE(Row(t, -5).empty());
}

TEST(PixelDecoder, ListStartingJustBeforeTheRefillPointIsReadWhole) {
  // 2303 one-byte tokens put the list's op 769 bytes before the window's end,
  // the last place at which no refill happens; after the list 2 bytes remain
  // and the next token start refills the window.
  Bytes stream(kRefillAt - 1, 0xA0);
  stream.insert(stream.end(), {0x01, 0xFF});
  Bytes expected = Pixels({0}, kRefillAt - 1);
  for (int i = 0; i < 255; ++i) {
    stream.insert(stream.end(), {static_cast<std::uint8_t>(i), 0x40, 0x80});
    expected = Concat(expected, Pixels({0x804000u | static_cast<std::uint32_t>(i)}));
  }
  stream.insert(stream.end(), {0x03, 0x01, 0x02, 0x03, 0xC0 | 9});
  expected = Concat(expected, Pixels({0x030201}, 3));
  expected = Concat(expected, Pixels({0x804000u | 246}, 2));  // slot 9, behind 030201
  ASSERT_EQ(stream.size(), 2303u + 2 + 765 + 5);
  TestDecoder t;
  Prime(t, stream);
  const auto total = static_cast<std::int32_t>(expected.size() / 3);
  EXPECT_EQ(Row(t, total), expected);
}

TEST(PixelDecoder, TruncatedWhenAPixelNeedsBytesPastTheData) {
  Bytes list = {0x01, 0x03, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  Bytes cut_list(list.begin(), list.end() - 2);
  // 5000 one-pixel references: the data end beyond the first refill.
  const Bytes references(5000, 0xA0);
  struct Case {
    const char* what;
    Bytes stream;
    std::int32_t pixels;
    bool truncated;
  } cases[] = {
      {"the data end on a token after the last pixel", {0x05, 0x10, 0x20, 0x30}, 5, false},
      {"one pixel more comes from the zeros", {0x05, 0x10, 0x20, 0x30}, 6, true},
      {"a colour cut short", {0x05, 0x10}, 5, true},
      {"a count-0 run fills the rest", {0x00, 0, 0, 0, 0, 1, 2, 3}, 1000, false},
      {"a whole literal list", list, 3, false},
      {"a literal list cut short", cut_list, 3, true},
      {"references past a refill, all there", references, 5000, false},
      {"references past a refill, one pixel more", references, 5001, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestDecoder t;
    Prime(t, c.stream);
    for (std::int32_t done = 0; done < c.pixels; done += 7) Row(t, std::min(7, c.pixels - done));
    EXPECT_EQ(t.decoder.truncated, c.truncated);
  }
  // What is left after the data is black, and says so.
  TestDecoder t;
  Prime(t, references);
  Row(t, 5000);
  std::uint32_t color = 1;
  EXPECT_TRUE(RestIsOneColor(t.decoder, 100, &color));
  EXPECT_EQ(color, 0u);
  EXPECT_TRUE(t.decoder.truncated);
}

TEST(PixelDecoder, ListOfCountZeroIsBrokenData) {
  for (std::size_t lead : {std::size_t{0}, std::size_t{kRefillAt - 1}, std::size_t{3070}}) {
    SCOPED_TRACE(lead);
    Bytes stream(lead, 0xA0);
    stream.insert(stream.end(), {0x01, 0x00, 1, 2, 3});
    TestDecoder t;
    Prime(t, stream);
    Row(t, static_cast<std::int32_t>(lead) + 1, false);
    EXPECT_EQ(t.input.status, BrokenData);
    EXPECT_LE(t.decoder.cur, t.decoder.buffer + kWindowSize);
  }
}

TEST(PixelDecoder, RefillReadFailureIsReadError) {
  TempDir dir;
  WriteFile(dir.File("s"), Bytes(10000, 0xA0));
  FaultPlan plan;
  plan.only = FaultCall::ReadFile;
  plan.fail_at = 2;  // the first refill
  Platform faulty = FaultyPlatform(&plan);
  InputSource input;
  ASSERT_TRUE(OpenSource(input, faulty, dir.File("s").c_str(), 0, 0));
  PixelDecoder decoder;
  ASSERT_TRUE(PrimeDecoder(decoder, input));
  Bytes out(3 * 3000);
  EXPECT_FALSE(DecodeRow(decoder, out.data(), 3000));
  EXPECT_EQ(input.status, ReadError);
  EXPECT_EQ(input.os_error, kErrorReadFault);
  CloseSource(input);
}

// Random token streams of every form, decoded with random row lengths, must
// give what the model gives, pixel for pixel and slot for slot.
Bytes RandomStream(std::mt19937& rng, std::size_t tokens) {
  Bytes s;
  auto byte = [&] { return static_cast<std::uint8_t>(rng()); };
  auto color = [&] {
    // Few colours, so references and repeated literals are common.
    std::uint8_t v = static_cast<std::uint8_t>(rng() % 6);
    s.insert(s.end(), {v, static_cast<std::uint8_t>(v * 3), byte()});
  };
  for (std::size_t i = 0; i < tokens; ++i) {
    switch (rng() % 6) {
      case 0: s.push_back(static_cast<std::uint8_t>(2 + rng() % 126)), color(); break;
      case 1: {
        std::uint8_t k = static_cast<std::uint8_t>(1 + rng() % 255);
        s.insert(s.end(), {0x01, k});
        for (int j = 0; j < k; ++j) color();
        break;
      }
      case 2: {
        const auto n = static_cast<std::uint32_t>(1 + rng() % 700);
        s.insert(s.end(),
                 {0x00, static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8), 0, 0});
        color();
        break;
      }
      case 3: s.push_back(static_cast<std::uint8_t>(0xA0 + rng() % 0x60)); break;
      case 4: s.insert(s.end(), {static_cast<std::uint8_t>(0x80 + rng() % 0x20), byte()}); break;
      default:  // long reference: run 256 + a byte, any slot
        s.insert(s.end(), {0x80, static_cast<std::uint8_t>(byte() & 0x7F), byte(), 1, 0, 0});
    }
  }
  return s;
}

TEST(PixelDecoder, MatchesTheModelOnRandomStreams) {
  // Both ways of moving the table: vectors where the processor has them (as
  // PrimeDecoder finds), and words, as on a processor without them, which
  // always run. The run on an emulated processor without SSE2 says so.
  TestDecoder probe;
  Prime(probe, Bytes{0});
  const bool has_vectors = probe.decoder.vector_moves;
  if (std::getenv("EXPECT_NO_SSE2") != nullptr) {
    EXPECT_FALSE(has_vectors) << "the processor should have no SSE2 here";
  }
  for (bool vectors : {true, false}) {
    if (vectors && !has_vectors) continue;
    SCOPED_TRACE(vectors ? "vector moves" : "word moves");
    std::mt19937 rng(20261208);
    for (int round = 0; round < 40; ++round) {
      SCOPED_TRACE(round);
      const Bytes stream = RandomStream(rng, 400);
      ModelDecoder model;
      model.stream = stream.data();
      model.size = stream.size();
      TestDecoder t;
      Prime(t, stream);
      t.decoder.vector_moves = vectors;
      for (int row = 0; row < 60; ++row) {
        const auto count = static_cast<std::int32_t>(1 + rng() % 700);
        const Bytes got = Row(t, count);
        Bytes want;
        for (std::int32_t i = 0; i < count; ++i) want = Concat(want, Pixels({model.Pixel()}));
        ASSERT_EQ(got, want) << "row " << row;
        for (std::uint32_t s = 0; s < 128; ++s)
          ASSERT_EQ(RecentColor(t.decoder, s) & 0xFFFFFF, model.table[s] & 0xFFFFFF)
              << "row " << row << " slot " << s;
      }
    }
  }
}

// ---- GetPicture ----

struct Progress {
  std::vector<std::pair<std::int32_t, std::int32_t>> calls;
  std::int32_t stop_at = -1;  // the call (0-based) that asks to stop
};

std::int32_t SPI_CALL RecordProgress(std::int32_t num, std::int32_t denom,
                                     std::intptr_t user_data) {
  auto* progress = reinterpret_cast<Progress*>(user_data);
  progress->calls.emplace_back(num, denom);
  return static_cast<std::int32_t>(progress->calls.size()) - 1 == progress->stop_at ? 1 : 0;
}

struct Dib {
  Bytes info;
  Bytes bits;
};

std::int32_t Decode(const Bytes& file, Dib* dib, Progress* progress = nullptr) {
  MemoryHandle info = reinterpret_cast<MemoryHandle>(1), bits = info;
  const std::int32_t status = Picture().GetPicture(
      file.data(), static_cast<std::int32_t>(file.size()), 0x1, &info, &bits,
      progress ? RecordProgress : nullptr, reinterpret_cast<HostInt>(progress));
  if (status != Ok) {
    EXPECT_EQ(info, nullptr);
    EXPECT_EQ(bits, nullptr);
    return status;
  }
  dib->info = TakeBlock(info);
  dib->bits = TakeBlock(bits);
  return status;
}

std::uint32_t Word(const Bytes& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}

TEST(GetPicture, InfoHeaderAndRowPadding) {
  for (std::int16_t width = 1; width <= 5; ++width) {
    SCOPED_TRACE(width);
    // Every pixel its own colour, so a misplaced byte shows.
    Bytes pixels;
    for (int i = 0; i < width * 9; ++i) pixels = Concat(pixels, Pixels({0x10203u * (i + 1)}));
    Bytes file;
    ASSERT_TRUE(EncodeGcmpPicture(pixels.data(), width, 9, &file));
    Dib dib;
    ASSERT_EQ(Decode(file, &dib), Ok);
    ASSERT_EQ(dib.info.size(), 40u);
    EXPECT_EQ(Word(dib.info, 0), 40u);
    EXPECT_EQ(Word(dib.info, 4), static_cast<std::uint32_t>(width));
    EXPECT_EQ(Word(dib.info, 8), 9u);
    EXPECT_EQ(dib.info[12] | (dib.info[13] << 8), 1);
    EXPECT_EQ(dib.info[14] | (dib.info[15] << 8), 24);
    for (std::size_t at = 16; at < 40; at += 4) EXPECT_EQ(Word(dib.info, at), 0u) << at;
    const std::size_t row = 3 * static_cast<std::size_t>(width);
    const std::size_t stride = (row + 3) / 4 * 4;
    ASSERT_EQ(dib.bits.size(), stride * 9);
    for (int r = 0; r < 9; ++r) {
      EXPECT_EQ(Bytes(dib.bits.begin() + r * stride, dib.bits.begin() + r * stride + row),
                Bytes(pixels.begin() + r * row, pixels.begin() + (r + 1) * row));
      for (std::size_t p = row; p < stride; ++p) EXPECT_EQ(dib.bits[r * stride + p], 0);
    }
  }
}

TEST(GetPicture, ProgressSequenceAndCancellation) {
  const Bytes file = Concat(Header(1, 9), {0x00, 0, 0, 0, 0, 1, 2, 3});
  Progress all;
  Dib dib;
  ASSERT_EQ(Decode(file, &dib, &all), Ok);
  ASSERT_EQ(all.calls.size(), 10u);
  for (std::int32_t i = 0; i <= 9; ++i) EXPECT_EQ(all.calls[i], std::make_pair(i, 9));
  EXPECT_EQ(dib.bits.size(), 36u);
  Bytes rows;
  for (int i = 0; i < 9; ++i) rows = Concat(rows, {1, 2, 3, 0});
  EXPECT_EQ(dib.bits, rows) << "each 3-byte row is padded with one zero byte";
  Dib quiet;
  ASSERT_EQ(Decode(file, &quiet), Ok);
  EXPECT_EQ(quiet.bits, dib.bits) << "no callback, same picture";

  for (std::int32_t stop : {0, 5, 9}) {
    Progress cancel;
    cancel.stop_at = stop;
    EXPECT_EQ(Decode(file, &dib, &cancel), Cancelled) << stop;
    EXPECT_EQ(cancel.calls.size(), static_cast<std::size_t>(stop) + 1);
  }
}

TEST(GetPicture, StreamsThatEndEarlyAreBlackAfterTheLastRun) {
  const Bytes file = Concat(Header(4, 9), {0x05, 0x10, 0x20, 0x30});
  Dib dib;
  ASSERT_EQ(Decode(file, &dib), Ok);
  Bytes want = Concat(Pixels({0x302010}, 5), Pixels({0}, 31));
  EXPECT_EQ(dib.bits, want);
}

TEST(GetPicture, FailuresReleaseBothBlocks) {
  Dib dib;
  Bytes broken = Concat(Header(4, 9), {0x01, 0x00});
  EXPECT_EQ(Decode(broken, &dib), BrokenData);
  EXPECT_EQ(Decode(Header(4, 8), &dib), UnsupportedFormat);
  // 32767 x 32767 needs a 3 GiB pixel block, more than a 32-bit process
  // has. A 64-bit one may get it, so there a platform that supplies no more
  // than 1 GiB stands for one that cannot.
  const Bytes huge = Concat(Header(32767, 32767), {0xA0});
  if (kIs64BitEdition) {
    FaultPlan plan;
    plan.largest_block = 1u << 30;
    const Platform bounded = FaultyPlatform(&plan);
    MemoryHandle info = nullptr, bits = nullptr;
    EXPECT_EQ(picture::GetPicture(bounded, huge.data(), Size(huge), 1, &info, &bits, nullptr, 0),
              NoMemory);
    EXPECT_EQ(plan.live_blocks, 0) << "the info block was released";
    EXPECT_EQ(info, nullptr);
  } else {
    EXPECT_EQ(Decode(huge, &dib), NoMemory);
  }
  MemoryHandle info = nullptr, bits = nullptr;
  EXPECT_EQ(Picture().GetPicture("no such file", 0, 0, &info, &bits, nullptr, 0), ReadError);
  EXPECT_EQ(info, nullptr);
  EXPECT_EQ(bits, nullptr);
}

TEST(GetPicture, EveryFailurePointGivesItsStatusAndLeavesNothing) {
  TempDir dir;
  std::mt19937 rng(7);
  Bytes pixels(3 * 100 * 90);
  for (auto& b : pixels) b = static_cast<std::uint8_t>(rng() % 4 * 60);
  Bytes file;
  ASSERT_TRUE(EncodeGcmpPicture(pixels.data(), 100, 90, &file));
  ASSERT_GT(file.size(), 3 * kWindowSize) << "the sweep must reach refills";
  WriteFile(dir.File("p"), Concat(Bytes(33, 0), file));
  const std::string name = dir.File("p");
  const std::u16string wide_name = Widen(name);
  for (std::uint32_t flags : {0u, 1u, 0x10u, 0x11u}) {  // 0x10: the W export
    SCOPED_TRACE(flags);
    const bool wide = (flags & 0x10) != 0;
    const bool memory = (flags & 1) != 0;
    const void* source = memory ? static_cast<const void*>(file.data())
                         : wide ? static_cast<const void*>(wide_name.c_str())
                                : static_cast<const void*>(name.c_str());
    const HostInt length = memory ? Size(file) : 33;
    SweepFaults(
        FaultCall::Any, kErrorNotEnoughMemory,
        [&](const Platform& faulty) {
          MemoryHandle info = nullptr, bits = nullptr;
          std::int32_t status = wide ? picture::GetPictureW(faulty, source, length, flags & 1,
                                                            &info, &bits, nullptr, 0)
                                     : picture::GetPicture(faulty, source, length, flags & 1, &info,
                                                           &bits, nullptr, 0);
          EXPECT_EQ(info == nullptr, status != Ok);
          EXPECT_EQ(bits == nullptr, status != Ok);
          if (status == Ok) {
            auto* data = static_cast<std::uint8_t*>(OsLocalLock(os, bits));
            EXPECT_EQ(Bytes(data, data + 300), Bytes(pixels.begin(), pixels.begin() + 300));
            FreeResultBlock(faulty, &bits);
            OsLocalLock(os, info);
            FreeResultBlock(faulty, &info);
          }
          return status;
        },
        [&](const SweepRun& run) {
          EXPECT_EQ(run.plan.live_blocks, 0);
          if (!run.plan.injected) {
            EXPECT_EQ(run.result, Ok);
          } else {
            EXPECT_TRUE(run.result == ReadError || run.result == NoMemory ||
                        run.result == MemoryError)
                << run.result;
          }
        });
  }
}

// ---- round trips through the writer ----

enum class Kind { Flat, Gradient, Noise, FewColors };

Bytes MakePicture(Kind kind, int width, int height, std::mt19937& rng) {
  Bytes p(3 * static_cast<std::size_t>(width) * height);
  const std::uint32_t palette[] = {0x000000, 0xFFFFFF, 0x2040C0, 0xC04020, 0x10E010, 0x808080};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint32_t c = 0;
      switch (kind) {
        case Kind::Flat: c = palette[(x / 37 + y / 23) % 6]; break;
        case Kind::Gradient: c = (x * 255 / width) | ((y * 255 / height) << 8) | 0x400000; break;
        case Kind::Noise: c = rng() & 0xFFFFFF; break;
        case Kind::FewColors: c = palette[rng() % 6] ^ (rng() % 50 == 0 ? rng() % 300 : 0); break;
      }
      std::uint8_t* px = &p[3 * (static_cast<std::size_t>(y) * width + x)];
      px[0] = static_cast<std::uint8_t>(c);
      px[1] = static_cast<std::uint8_t>(c >> 8);
      px[2] = static_cast<std::uint8_t>(c >> 16);
    }
  }
  return p;
}

TEST(GetPicture, RoundTripsThroughTheWriter) {
  std::mt19937 rng(42);
  struct Case {
    Kind kind;
    int width, height;
  } cases[] = {{Kind::Flat, 333, 211},      {Kind::Gradient, 256, 97}, {Kind::Noise, 181, 120},
               {Kind::FewColors, 402, 150}, {Kind::Noise, 1, 9},       {Kind::Flat, 2, 1000},
               {Kind::FewColors, 3, 40}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << static_cast<int>(c.kind) << " " << c.width << "x" << c.height);
    const Bytes pixels = MakePicture(c.kind, c.width, c.height, rng);
    Bytes file;
    ASSERT_TRUE(EncodeGcmpPicture(pixels.data(), c.width, c.height, &file));
    Dib dib;
    ASSERT_EQ(Decode(file, &dib), Ok);
    const std::size_t row = 3 * static_cast<std::size_t>(c.width);
    const std::size_t stride = (row + 3) / 4 * 4;
    for (int r = 0; r < c.height; ++r) {
      ASSERT_EQ(std::memcmp(&dib.bits[r * stride], &pixels[r * row], row), 0) << "row " << r;
    }
  }
}

TEST(GcmpWriter, RefusesSizesTheHeaderCannotHold) {
  Bytes pixels(3 * 40000 * 9), out = {1};
  EXPECT_FALSE(EncodeGcmpPicture(pixels.data(), 0, 9, &out));
  EXPECT_FALSE(EncodeGcmpPicture(pixels.data(), 5, 8, &out));
  EXPECT_FALSE(EncodeGcmpPicture(pixels.data(), 32768, 9, &out));
  EXPECT_EQ(out, Bytes{1});
}

// ---- wide-character exports and impossible lengths ----

TEST(WideExports, PictureInfoRecordLiesAtItsByteOffsets) {
  // The record read back as raw bytes at the offsets a host uses, after
  // both exports wrote over a record filled with 0x5A.
  const Bytes picture = Concat(Header(0x1234, 0x0567), Bytes(4, 0xA0));
  for (bool wide : {false, true}) {
    SCOPED_TRACE(wide ? "GetPictureInfoW" : "GetPictureInfo");
    Bytes record(sizeof(PictureInfoRecord), 0x5A);
    auto* out = reinterpret_cast<PictureInfoRecord*>(record.data());
    ASSERT_EQ(wide ? Picture().GetPictureInfoW(picture.data(), Size(picture), 1, out)
                   : Picture().GetPictureInfo(picture.data(), Size(picture), 1, out),
              Ok);
    Bytes expected = {0, 0,    0,    0, 0, 0, 0, 0, 0x34, 0x12, 0,
                      0, 0x67, 0x05, 0, 0, 0, 0, 0, 0,    24,   0};
    // info_handle, null: 4 bytes in the 32-bit edition; 2 bytes of padding
    // and 8 bytes in the 64-bit edition, all written as zero.
    expected.resize(kIs64BitEdition ? 32 : 26, 0);
    EXPECT_EQ(record, expected);
  }
}

TEST(WideExports, PicturesWithAnyNameDecodeAsTheAnsiTwinDoes) {
  TempDir dir;
  std::mt19937 rng(11);
  Bytes pixels(3 * 37 * 20);
  for (auto& b : pixels) b = static_cast<std::uint8_t>(rng() % 3 * 90);
  Bytes file;
  ASSERT_TRUE(EncodeGcmpPicture(pixels.data(), 37, 20, &file));
  Dib from_memory;
  ASSERT_EQ(Decode(file, &from_memory), Ok);
  for (const char* name : {"絵.gcmp", "café au lait", " two  spaces ", "😀.gcmp"}) {
    SCOPED_TRACE(name);
    const std::filesystem::path path = dir.path / Widen(name);
    WriteFile(path, Concat(Bytes(9, 0), file));
    const std::u16string wide = WidePath(path);
    PictureInfoRecord record{};
    ASSERT_EQ(Picture().GetPictureInfoW(wide.c_str(), 9, 0, &record), Ok);
    EXPECT_EQ(+record.width, 37);
    EXPECT_EQ(+record.height, 20);
    MemoryHandle info = nullptr, bits = nullptr;
    Progress progress;
    ASSERT_EQ(Picture().GetPictureW(wide.c_str(), 9, 0, &info, &bits, RecordProgress,
                                    reinterpret_cast<HostInt>(&progress)),
              Ok);
    EXPECT_EQ(TakeBlock(info), from_memory.info);
    EXPECT_EQ(TakeBlock(bits), from_memory.bits);
    EXPECT_EQ(progress.calls.size(), 21u);
    // The header is 9 bytes in: offset 0 is no picture, in either width.
    EXPECT_EQ(Picture().GetPictureInfoW(wide.c_str(), 0, 0, &record), UnsupportedFormat);
  }
  PictureInfoRecord record{};
  const std::u16string missing = WidePath(dir.path / Widen("無い.gcmp"));
  EXPECT_EQ(Picture().GetPictureInfoW(missing.c_str(), 0, 0, &record), ReadError);
  MemoryHandle info = reinterpret_cast<MemoryHandle>(1), bits = info;
  EXPECT_EQ(Picture().GetPictureW(missing.c_str(), 0, 0, &info, &bits, nullptr, 0), ReadError);
  EXPECT_EQ(info, nullptr);
  EXPECT_EQ(bits, nullptr);
  // IsSupportedW judges the head block alone, as IsSupported does.
  Bytes head = file;
  head.resize(2048);
  const auto probe = reinterpret_cast<std::uintptr_t>(head.data());
  EXPECT_EQ(Picture().IsSupportedW(u"絵", probe), 1);
  head[7] = 1;
  EXPECT_EQ(Picture().IsSupportedW(u"絵", probe), 0);
}

TEST(WideExports, ImpossibleMemoryLengthsReadAsAnEmptyBlock) {
  const Bytes picture = Concat(Header(4, 9), Bytes(8, 0xA0));
  const void* near_top = reinterpret_cast<const void*>(UINTPTR_MAX - 0xFF);
  struct Case {
    const void* source;
    HostInt length;
  } cases[] = {{picture.data(), -1}, {picture.data(), INTPTR_MIN}, {near_top, 0x1000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    for (bool wide : {false, true}) {
      PictureInfoRecord record{};
      record.width = -3;
      EXPECT_EQ(wide ? Picture().GetPictureInfoW(c.source, c.length, 1, &record)
                     : Picture().GetPictureInfo(c.source, c.length, 1, &record),
                UnsupportedFormat);
      EXPECT_EQ(+record.width, -3);
      MemoryHandle info = reinterpret_cast<MemoryHandle>(1), bits = info;
      Progress progress;
      EXPECT_EQ(wide ? Picture().GetPictureW(c.source, c.length, 1, &info, &bits, RecordProgress,
                                             reinterpret_cast<HostInt>(&progress))
                     : Picture().GetPicture(c.source, c.length, 1, &info, &bits, RecordProgress,
                                            reinterpret_cast<HostInt>(&progress)),
                UnsupportedFormat);
      EXPECT_EQ(info, nullptr);
      EXPECT_EQ(bits, nullptr);
      EXPECT_TRUE(progress.calls.empty());
    }
  }
}

}  // namespace
