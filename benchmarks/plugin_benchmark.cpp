// Decoding speed of the picture plug-in as a host meets it, against a plain
// decoder, the QOI reference decoder and memcpy, on the same pixels, in one
// run of one process.
//
// Usage: plugin_benchmark [--rounds N] PICTURE...
//
// In the Windows builds GetPicture is the export of orbelint.spi (orbelint.sph
// in a 64-bit program), loaded from the program's folder with LoadLibrary;
// natively it is the same code linked in. Everything else here is compiled by
// the same compiler into this program:
//   plain   the tests' model decoder: one pixel at a time, every byte read
//           with a bounds check, the colour table shifted with a loop;
//   QOI     the reference decoder (Debian's libqoi-dev header) to 3-byte RGB;
//   memcpy  a copy of the DIB's size between two buffers that stay allocated;
//   fresh block  a block of the DIB's size allocated as GetPicture's pixel
//           block is, filled with memset and freed: the floor of every
//           decoder here that hands over new memory (the plain decoder
//           writes into such a block, QOI into its own malloc).
// Each PICTURE (PNG, BMP or PNM) is converted with the project's GCmpSH0
// writer and QOI encoder, and every decoder's output is checked against the
// source pixels before timing. The decoders then take turns, round after
// round, each round long enough to time well (about 50 ms); the table gives
// the median round of each as megapixels per second, GetPicture's speed as
// a multiple of each of the others', and the part of GetPicture's time that
// the fresh block alone takes.
#define QOI_IMPLEMENTATION
#include "benchmarks/bench_picture.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/model_decoder.h"
#include "plugin_host/plugin_calls.h"
#include "plugin_host/plugin_host.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

using Subject = BenchPicture;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "plugin_benchmark: %s\n", what.c_str());
  std::exit(1);
}

// GetPicture from a memory block (input kind 1), both result blocks freed
// again, as a host with the file in memory does.
bool DecodeGcmp(const PictureApi& api, const Subject& s, Bytes* out) {
  MemoryHandle info = nullptr, bits = nullptr;
  if (api.GetPicture(s.gcmp.data(), static_cast<HostInt>(s.gcmp.size()), 1, &info, &bits, nullptr,
                     0) != Ok)
    return false;
  if (out != nullptr) {
    *out = TakeResultBlock(bits);
  } else {
    OsLocalFree(SystemPlatform(), bits);
  }
  OsLocalFree(SystemPlatform(), info);
  return true;
}

// A fresh block of the DIB's size, as the plug-in allocates for its pixels:
// `fill` writes it, then it is freed. Decoders that hand over a new block pay
// this floor; on machines where a fresh page costs a fault (large blocks come
// straight from the system and go back to it) it is a large part of the time.
template <typename Fill>
bool InFreshBlock(std::size_t size, Fill fill) {
  const Platform& os = SystemPlatform();
  MemoryHandle block = OsLocalAlloc(os, kLocalMoveable, static_cast<std::uint32_t>(size));
  if (block == nullptr) return false;
  fill(static_cast<std::uint8_t*>(OsLocalLock(os, block)));
  OsLocalUnlock(os, block);
  OsLocalFree(os, block);
  return true;
}

// The plain decoder, into a fresh block as GetPicture's pixels are.
bool DecodePlain(const Subject& s, Bytes* out) {
  return InFreshBlock(s.dib_bits.size(), [&](std::uint8_t* bits) {
    DecodeModelPicture(s.gcmp.data(), s.gcmp.size(), s.image.width, s.image.height, bits);
    if (out != nullptr) out->assign(bits, bits + s.dib_bits.size());
  });
}

Subject Load(const std::string& path) {
  Subject s;
  std::string error;
  if (!LoadBenchPicture(path, &s, &error)) Fail(path + ": " + error);
  return s;
}

enum Decoder { kGetPicture, kPlain, kQoi, kMemcpy, kFreshBlock, kDecoders };
const char* const kDecoderNames[kDecoders] = {"GetPicture", "plain", "QOI", "memcpy",
                                              "fresh block"};

// One call of decoder `d` on `s`; `scratch` is memcpy's output, kept
// allocated.
void RunOnce(const PictureApi& api, Decoder d, const Subject& s, Bytes* scratch) {
  bool ok = true;
  switch (d) {
    case kGetPicture: ok = DecodeGcmp(api, s, nullptr); break;
    case kPlain: ok = DecodePlain(s, nullptr); break;
    case kQoi: ok = DecodeQoi(s, nullptr); break;
    case kMemcpy:
      std::memcpy(scratch->data(), s.dib_bits.data(), s.dib_bits.size());
      // Keep the copy from being dropped as unused.
      ok = (*scratch)[scratch->size() / 2] == s.dib_bits[s.dib_bits.size() / 2];
      break;
    case kFreshBlock:
      ok = InFreshBlock(s.dib_bits.size(),
                        [&](std::uint8_t* bits) { std::memset(bits, 0, s.dib_bits.size()); });
      break;
    case kDecoders: break;
  }
  if (!ok) Fail(s.name + ": " + kDecoderNames[d] + " failed while timed");
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Seconds per call of each decoder on `s`: the median over `rounds` rounds.
std::vector<double> Time(const PictureApi& api, const Subject& s, int rounds) {
  Bytes scratch(s.dib_bits.size());
  std::vector<int> calls(kDecoders);
  for (int d = 0; d < kDecoders; ++d) {  // warm up and size the rounds
    const auto start = Clock::now();
    RunOnce(api, static_cast<Decoder>(d), s, &scratch);
    const double once = std::chrono::duration<double>(Clock::now() - start).count();
    calls[d] = std::clamp(static_cast<int>(0.05 / std::max(once, 1e-7)), 1, 100000);
  }
  std::vector<std::vector<double>> per_call(kDecoders);
  for (int r = 0; r < rounds; ++r) {
    for (int d = 0; d < kDecoders; ++d) {
      const auto start = Clock::now();
      for (int i = 0; i < calls[d]; ++i) RunOnce(api, static_cast<Decoder>(d), s, &scratch);
      per_call[d].push_back(std::chrono::duration<double>(Clock::now() - start).count() /
                            calls[d]);
    }
  }
  std::vector<double> median(kDecoders);
  for (int d = 0; d < kDecoders; ++d) median[d] = Median(per_call[d]);
  return median;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 9;
  int first = 1;
  if (argc > 2 && std::strcmp(argv[1], "--rounds") == 0) {
    rounds = std::atoi(argv[2]);
    first = 3;
  }
  if (argc <= first || rounds < 1) Fail("usage: plugin_benchmark [--rounds N] PICTURE...");
  PluginHost host;
  std::string error;
  if (!LoadPlugins("", &host, &error)) Fail(error);

  std::vector<Subject> subjects;
  for (int i = first; i < argc; ++i) {
    subjects.push_back(Load(argv[i]));
    const Subject& s = subjects.back();
    Bytes check;
    if (!DecodeGcmp(host.picture, s, &check) || check != s.dib_bits)
      Fail(s.name + ": GetPicture mismatch");
    if (!DecodePlain(s, &check) || check != s.dib_bits) Fail(s.name + ": plain mismatch");
    if (!DecodeQoi(s, &check) || check != s.image.rgb) Fail(s.name + ": QOI mismatch");
  }

#ifdef _WIN32
  const char* from = kPicturePluginFile;
#else
  const char* from = "the linked-in plug-in code";
#endif
  std::printf("GetPicture from %s, a %d-bit program; medians of %d rounds\n\n", from,
              static_cast<int>(8 * sizeof(void*)), rounds);
  std::printf("| picture | size | GetPicture MP/s | plain MP/s | QOI MP/s | memcpy MP/s |"
              " fresh block MP/s | vs plain | vs QOI | vs memcpy | fresh block share |\n"
              "|---|---|---|---|---|---|---|---|---|---|---|\n");
  for (const Subject& s : subjects) {
    const std::vector<double> seconds = Time(host.picture, s, rounds);
    const double mp = static_cast<double>(s.image.width) * s.image.height / 1e6;
    std::printf("| %s | %dx%d |", s.name.c_str(), s.image.width, s.image.height);
    for (double t : seconds) std::printf(" %.0f |", mp / t);
    for (int d = kPlain; d <= kMemcpy; ++d)
      std::printf(" %.2fx |", seconds[d] / seconds[kGetPicture]);
    std::printf(" %.0f%% |", 100 * seconds[kFreshBlock] / seconds[kGetPicture]);
    std::printf("\n");
    std::fflush(stdout);
  }
  return 0;
}
