// Decoding speed of GetPicture against a plain decoder (the tests' model
// decoder), the QOI reference decoder, libspng and a plain memcpy of the
// output size, on the same pixels, in one run.
//
// Usage: picture_benchmark [benchmark flags] PICTURE...
// Each PICTURE (PNG, BMP or PPM) is converted with the project's GCmpSH0
// writer, and encoded as QOI and as PNG; every decoder's result is checked
// against the source pixels once before timing. After the benchmark's own
// output a Markdown table gives megapixels per second (medians when the
// benchmarks are repeated), GetPicture's speed as a multiple of each of the
// others', and the size of each format.
#include <benchmark/benchmark.h>

#include <spng.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#define QOI_IMPLEMENTATION
#include "benchmarks/bench_picture.h"
#include "benchmarks/table_reporter.h"
#include "picture/picture_plugin.h"
#include "tests/model_decoder.h"
#include "image_files/image_files.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Subject : BenchPicture {
  Bytes png;
};

void Fail(const std::string& what) {
  std::fprintf(stderr, "picture_benchmark: %s\n", what.c_str());
  std::exit(1);
}

// GetPicture from a memory block, as a host with the file in memory calls it.
bool DecodeGcmp(const Subject& s, Bytes* out) {
  const Platform& os = SystemPlatform();
  MemoryHandle info = nullptr, bits = nullptr;
  if (picture::GetPicture(os, s.gcmp.data(), static_cast<std::int32_t>(s.gcmp.size()), 1, &info,
                          &bits, nullptr, 0) != Ok)
    return false;
  if (out != nullptr) {
    auto* data = static_cast<std::uint8_t*>(OsLocalLock(os, bits));
    out->assign(data, data + OsLocalSize(os, bits));
    OsLocalUnlock(os, bits);
  }
  OsLocalFree(os, bits);
  OsLocalFree(os, info);
  return true;
}

// The plain decoder, into a new buffer as GetPicture's pixels are.
bool DecodePlain(const Subject& s, Bytes* out) {
  std::unique_ptr<std::uint8_t[]> bits(new std::uint8_t[s.dib_bits.size()]);
  DecodeModelPicture(s.gcmp.data(), s.gcmp.size(), s.image.width, s.image.height, bits.get());
  benchmark::DoNotOptimize(bits.get());
  if (out != nullptr) out->assign(bits.get(), bits.get() + s.dib_bits.size());
  return true;
}

bool DecodeSpng(const Subject& s, Bytes* out) {
  Bytes pixels(s.image.rgb.size());
  spng_ctx* ctx = spng_ctx_new(0);
  spng_set_png_buffer(ctx, s.png.data(), s.png.size());
  int status = spng_decode_image(ctx, pixels.data(), pixels.size(), SPNG_FMT_RGB8, 0);
  spng_ctx_free(ctx);
  benchmark::DoNotOptimize(pixels.data());
  if (out != nullptr) *out = std::move(pixels);
  return status == 0;
}

Subject Load(const std::string& path) {
  Subject s;
  std::string error;
  if (!LoadBenchPicture(path, &s, &error)) Fail(path + ": " + error);
  if (!EncodePng(s.image, &s.png, &error)) Fail(path + ": " + error);

  // Every decoder must give the source pixels back before it is timed.
  Bytes check;
  if (!DecodeGcmp(s, &check) || check != s.dib_bits) Fail(path + ": GetPicture mismatch");
  if (!DecodePlain(s, &check) || check != s.dib_bits) Fail(path + ": plain mismatch");
  if (!DecodeQoi(s, &check) || check != s.image.rgb) Fail(path + ": QOI mismatch");
  if (!DecodeSpng(s, &check) || check != s.image.rgb) Fail(path + ": spng mismatch");
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (argc < 2) Fail("usage: picture_benchmark [benchmark flags] PICTURE...");
  std::vector<Subject> subjects;
  for (int i = 1; i < argc; ++i) subjects.push_back(Load(argv[i]));

  const char* kinds[] = {"GetPicture", "plain", "QOI", "spng", "memcpy"};
  constexpr int kKinds = 5;
  // The decoders, in the order of `kinds`; memcpy is registered after them.
  bool (*const decoders[])(const Subject&, Bytes*) = {
      DecodeGcmp, DecodePlain, [](const Subject& s, Bytes* out) { return DecodeQoi(s, out); },
      DecodeSpng};
  for (const Subject& s : subjects) {
    const Subject* p = &s;
    for (int k = 0; k < kKinds - 1; ++k) {
      auto* decode = decoders[k];
      benchmark::RegisterBenchmark((std::string(kinds[k]) + "/" + s.name).c_str(),
                                   [p, decode](benchmark::State& state) {
                                     for (auto _ : state)
                                       benchmark::DoNotOptimize(decode(*p, nullptr));
                                   })
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
    }
    benchmark::RegisterBenchmark(("memcpy/" + s.name).c_str(),
                                 [p](benchmark::State& state) {
                                   Bytes target(p->dib_bits.size());
                                   for (auto _ : state) {
                                     std::memcpy(target.data(), p->dib_bits.data(), target.size());
                                     benchmark::ClobberMemory();
                                   }
                                 })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
  TableReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  std::printf("\n| picture | size | GCmpSH0 | QOI | PNG |");
  for (const char* k : kinds) std::printf(" %s MP/s |", k);
  for (int k = 1; k < kKinds; ++k) std::printf(" vs %s |", kinds[k]);
  std::printf("\n|---|---|---|---|---|");
  for (int i = 0; i < 2 * kKinds - 1; ++i) std::printf("---|");
  std::printf("\n");
  for (const Subject& s : subjects) {
    const double mp = static_cast<double>(s.image.width) * s.image.height / 1e6;
    double rate[kKinds] = {};
    for (int k = 0; k < kKinds; ++k) {
      auto found = reporter.seconds.find(std::string(kinds[k]) + "/" + s.name);
      rate[k] = found == reporter.seconds.end() ? 0 : mp / found->second;
    }
    std::printf("| %s | %dx%d | %zu | %zu | %zu |", s.name.c_str(), s.image.width, s.image.height,
                s.gcmp.size(), s.qoi.size(), s.png.size());
    for (double r : rate) std::printf(" %.0f |", r);
    // GetPicture's speed as a multiple of each of the others'.
    for (int k = 1; k < kKinds; ++k) std::printf(" %.2fx |", rate[k] > 0 ? rate[0] / rate[k] : 0.0);
    std::printf("\n");
  }
  return 0;
}
