// Extraction and listing speed of the archive plug-in, in one run:
// - GetFile of a 256 MiB member, file to file and file to memory, against
//   `cat SRC > DST` copying the same 256 MiB member file (plain reads and
//   writes through user memory), every output file removed between runs;
// - GetArchiveInfo of an archive of 100,000 members, from its file;
// - IsSupported on a 2048-byte head in memory.
// Usage: archive_benchmark [benchmark flags] WORK_FOLDER
// The archives are written into WORK_FOLDER with the project's NSC writer.
// After the benchmark's own output a Markdown table gives each result
// beside its baseline.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "archive/archive_plugin.h"
#include "benchmarks/table_reporter.h"
#include "writers/nsc_writer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

constexpr std::uint32_t kBigMember = 256u << 20;
constexpr std::size_t kManyMembers = 100000;

struct Work {
  std::string big_archive;  // two members: 256 MiB, then 1 byte
  std::string big_member;   // the same 256 MiB as a plain file, for cat
  std::string many_archive;
  std::string out_folder;
  Bytes probe;  // the first 2048 bytes of the big archive
};

void Fail(const std::string& what) {
  std::fprintf(stderr, "archive_benchmark: %s\n", what.c_str());
  std::exit(1);
}

void Save(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) Fail("cannot write " + path);
}

Work Prepare(const std::string& folder) {
  Work w;
  fs::create_directories(folder + "/out");
  w.big_archive = folder + "/big.nsc";
  w.big_member = folder + "/big-member.bin";
  w.many_archive = folder + "/many.nsc";
  w.out_folder = folder + "/out";
  Bytes member(kBigMember);
  std::uint32_t x = 12345;
  for (auto& b : member) b = static_cast<std::uint8_t>((x = x * 1103515245 + 12345) >> 24);
  Save(w.big_member, member);
  Bytes archive;
  std::string error;
  if (!PackNscArchive({member, Bytes{1}}, &archive, &error)) Fail(error);
  Save(w.big_archive, archive);
  w.probe.assign(archive.begin(), archive.begin() + 2048);
  std::vector<Bytes> many(kManyMembers, Bytes(3, 0x55));
  if (!PackNscArchive(many, &archive, &error)) Fail(error);
  Save(w.many_archive, archive);
  return w;
}

void RemoveOutputs(const Work& w) {
  std::error_code ignored;
  fs::remove(w.out_folder + "/1", ignored);
  fs::remove(w.out_folder + "/cat-copy", ignored);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (argc != 2) Fail("usage: archive_benchmark [benchmark flags] WORK_FOLDER");
  const Work w = Prepare(argv[1]);
  const Platform& os = SystemPlatform();
  const Work* p = &w;

  benchmark::RegisterBenchmark(
      "GetFile file to file",
      [p, &os](benchmark::State& state) {
        for (auto _ : state) {
          state.PauseTiming();
          RemoveOutputs(*p);
          state.ResumeTiming();
          if (archive::GetFile(os, p->big_archive.c_str(), 16,
                               const_cast<char*>(p->out_folder.c_str()), 0, nullptr, 0) != Ok)
            state.SkipWithError("GetFile failed");
        }
        if (fs::file_size(p->out_folder + "/1") != kBigMember) state.SkipWithError("wrong size");
      })
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->Iterations(8);

  benchmark::RegisterBenchmark("cat SRC > DST",
                               [p](benchmark::State& state) {
                                 const std::string command = "cat '" + p->big_member + "' > '" +
                                                             p->out_folder + "/cat-copy'";
                                 for (auto _ : state) {
                                   state.PauseTiming();
                                   RemoveOutputs(*p);
                                   state.ResumeTiming();
                                   if (std::system(command.c_str()) != 0)
                                     state.SkipWithError("cat failed");
                                 }
                               })
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->Iterations(8);

  benchmark::RegisterBenchmark(
      "GetFile file to memory",
      [p, &os](benchmark::State& state) {
        for (auto _ : state) {
          MemoryHandle block = nullptr;
          if (archive::GetFile(os, p->big_archive.c_str(), 16, &block, 0x100, nullptr, 0) != Ok)
            state.SkipWithError("GetFile failed");
          OsLocalFree(os, block);
        }
      })
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->Iterations(8);

  benchmark::RegisterBenchmark(
      "GetArchiveInfo 100000 members",
      [p, &os](benchmark::State& state) {
        for (auto _ : state) {
          MemoryHandle block = nullptr;
          if (archive::GetArchiveInfo(os, p->many_archive.c_str(), 0, 0, &block) != Ok)
            state.SkipWithError("GetArchiveInfo failed");
          OsLocalFree(os, block);
        }
      })
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();

  benchmark::RegisterBenchmark("IsSupported 2048-byte head", [p, &os](benchmark::State& state) {
    const auto probe = reinterpret_cast<std::uintptr_t>(p->probe.data());
    for (auto _ : state) benchmark::DoNotOptimize(archive::IsSupported(os, "big.nsc", probe));
  })->UseRealTime();

  TableReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  RemoveOutputs(w);

  auto at = [&](const char* name) { return reporter.seconds[name]; };
  const double mib = kBigMember / 1048576.0;
  const double cat = at("cat SRC > DST");
  std::printf("\n| operation | result | baseline (same run) | ratio |\n|---|---|---|---|\n");
  std::printf("| GetFile 256 MiB file to file | %.0f MiB/s | cat: %.0f MiB/s | %.2fx cat |\n",
              mib / at("GetFile file to file"), mib / cat, cat / at("GetFile file to file"));
  std::printf("| GetFile 256 MiB file to memory | %.0f MiB/s | cat: %.0f MiB/s | %.2fx cat |\n",
              mib / at("GetFile file to memory"), mib / cat, cat / at("GetFile file to memory"));
  std::printf("| GetArchiveInfo, 100000 members | %.2f ms | target: under 50 ms | |\n",
              1e3 * at("GetArchiveInfo 100000 members"));
  std::printf("| IsSupported, 2048-byte head | %.1f million probes/s | | |\n",
              1e-6 / at("IsSupported 2048-byte head"));
  return 0;
}
