// This file contains jamcg's commands that look at files without writing:
// info, list and check.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "file_names/output_files.h"
#include "image_files/image_files.h"
#include "jamcg/jamcg_session.h"
#include "jamcg/picture_reading.h"
#include "picture/picture_header.h"
#include "support/byte_order.h"
#include "writers/gcmp_writer.h"
#include "writers/nsc_writer.h"

namespace fs = std::filesystem;

namespace {

// The problems of an archive that the plug-ins, by their contract, do not
// report: members whose bytes lie past the end of the file (they read as
// zeros), and members of 0 or 1 bytes (no listing shows them). One line each.
std::vector<std::string> ArchiveProblems(const ArchiveMembers& archive, const Bytes& head) {
  std::vector<std::string> problems;
  for (std::size_t i = 0; i < ListedCount(archive); ++i) {
    const Member m = ListedMember(archive, i);
    if (PastTheEnd(archive, m))
      problems.push_back("member " + m.name + " " + PastTheEndText(archive, m));
  }
  // Members are numbered 1 to M; a listing leaves out those of 0 or 1 bytes.
  const std::uint32_t table_size = LoadLe32(head.data() + 4);
  const std::uint32_t count = table_size / 4 - 2;
  std::vector<bool> listed(count + 1, false);
  for (std::size_t i = 0; i < ListedCount(archive); ++i) {
    const unsigned long number = std::strtoul(ListedMember(archive, i).name.c_str(), nullptr, 10);
    if (number >= 1 && number <= count) listed[number] = true;
  }
  for (std::uint32_t k = 1; k <= count; ++k) {
    if (!listed[k])
      problems.push_back("member " + std::to_string(k) +
                         " has fewer than 2 bytes: no host lists it, so none can extract it");
  }
  return problems;
}

// The problems of a picture that GetPicture does not report: broken pixel
// data, and a pixel stream that ends before it has coded every pixel (the
// plug-in completes it with zeros, which draw black). Decoded within the
// command's budget of pixels.
std::vector<std::string> PictureProblems(Session& s, const Source& source, std::uint64_t* budget) {
  Image ignored;
  bool truncated = false;
  std::string error;
  const std::int32_t status = DecodeToFit(*s.context.plugins, source, 1, &ignored, &truncated,
                                          budget, s.context.interrupted, &error);
  if (status == BrokenData) return {"broken pixel data: a literal list of no colours"};
  if (status == kOverBudget)
    return {"not checked: the pixels decoded for this command passed " +
            std::to_string(kDecodeBudget >> 20) + " million"};
  if (status != Ok) return {StatusText(status, true, source.name, error)};
  if (truncated) return {"the pixel data end before every pixel is coded (the rest shows black)"};
  return {};
}

// The problems of the pictures inside an archive, each named for its member:
// what PictureProblems finds in each listed member that is a picture.
std::vector<std::string> MemberPictureProblems(Session& s, const ArchiveMembers& archive,
                                               std::uint64_t* budget) {
  std::vector<std::string> problems;
  for (std::size_t i = 0; i < ListedCount(archive) && !s.Cancelled(); ++i) {
    const Member m = ListedMember(archive, i);
    if (m.size < kPictureHeaderSize || PastTheEnd(archive, m)) continue;
    auto bytes = std::make_shared<Bytes>();
    std::string error;
    const std::int32_t status = ReadMember(*s.context.plugins, archive, m, bytes.get(), &error);
    if (status != Ok) {
      problems.push_back("member " + m.name + ": " +
                         StatusText(status, false, archive.source.name, error));
      continue;
    }
    if (!HoldsPicture(s.picture(), *bytes)) continue;
    for (const std::string& problem : PictureProblems(s, Source{m.name, bytes}, budget))
      problems.push_back("member " + m.name + ": " + problem);
  }
  return problems;
}

}  // namespace

void Info(Session& s) {
  if (s.options.operands.empty()) {
    s.Fail("info", "give at least one file", kExitUsage);
    return;
  }
  const ArchiveApi& a = s.archive();
  const PictureApi& p = s.picture();
  for (const std::string& operand : s.options.operands) {
    Source source;
    Bytes head;
    if (!OpenOperand(s, operand, &source, &head)) continue;
    const std::string& path = source.name;
    std::string error;
    if (Takes(a, path, head)) {
      std::string line =
          "NSC archive (" + std::string(kArchivePluginFile) + ", " + InfoText(a.GetPluginInfo, 0) +
          ", " + InfoText(a.GetPluginInfo, 2) +
          (MatchesPattern(path, InfoText(a.GetPluginInfo, 2)) ? "" : ", name does not match") + ")";
      ArchiveMembers archive;
      if (OpenArchive(s, source, &archive)) {
        std::uint64_t total = 0;
        for (std::size_t i = 0; i < ListedCount(archive); ++i)
          total += ListedMember(archive, i).size;
        std::fprintf(s.context.out, "%s: %s: %zu members, %llu bytes\n", Printable(path).c_str(),
                     line.c_str(), ListedCount(archive), static_cast<unsigned long long>(total));
        for (const std::string& problem : ArchiveProblems(archive, head))
          std::fprintf(s.context.err, "jamcg: warning: %s: %s\n", Printable(path).c_str(),
                       problem.c_str());
      }
    } else if (Takes(p, path, head)) {
      PictureInfoRecord record{};
      const std::int32_t status = DescribePicture(p, source, &record, &error);
      if (status != Ok) {
        s.Fail(path, StatusText(status, true, path, error), ExitCodeOf(status));
        continue;
      }
      std::fprintf(s.context.out, "%s: GCmpSH0 picture (%s, %s, %s): %dx%d, %d bits\n",
                   Printable(path).c_str(), kPicturePluginFile,
                   InfoText(p.GetPluginInfo, 0).c_str(), InfoText(p.GetPluginInfo, 2).c_str(),
                   record.width, record.height, record.color_depth);
    } else {
      s.Fail(path, "neither plug-in takes it (not an NSC archive or a GCmpSH0 picture)",
             kExitInputError);
    }
  }
}

void List(Session& s) {
  if (s.options.operands.size() != 1) {
    s.Fail("list", "give exactly one archive", kExitUsage);
    return;
  }
  Source source;
  ArchiveMembers archive;
  if (!ReadOperand(s, s.options.operands[0], &source) || !OpenArchive(s, source, &archive)) return;
  if (!s.options.json) std::fprintf(s.context.out, "%-8s %12s %12s\n", "name", "position", "size");
  for (std::size_t i = 0; i < ListedCount(archive); ++i) {
    // Output that cannot be written (a reader that has gone) stops it at once.
    if (i % 1024 == 0 && std::ferror(s.context.out)) {
      s.Fail("", ReaderGone(errno) ? kClosedPipe : "cannot write the standard output",
             kExitOutputError);
      return;
    }
    const Member m = ListedMember(archive, i);
    if (s.options.json) {
      std::fprintf(s.context.out, "{\"name\":\"%s\",\"position\":%llu,\"size\":%llu}\n",
                   m.name.c_str(), static_cast<unsigned long long>(m.position),
                   static_cast<unsigned long long>(m.size));
    } else {
      std::fprintf(s.context.out, "%-8s %12llu %12llu\n", m.name.c_str(),
                   static_cast<unsigned long long>(m.position),
                   static_cast<unsigned long long>(m.size));
    }
  }
}

void Check(Session& s) {
  if (s.options.operands.empty()) {
    s.Fail("check", "give at least one file", kExitUsage);
    return;
  }
  std::uint64_t budget = kDecodeBudget;
  for (const std::string& operand : s.options.operands) {
    if (s.Cancelled()) return;
    Source source;
    Bytes head;
    if (!OpenOperand(s, operand, &source, &head)) continue;
    const std::string& path = source.name;
    std::vector<std::string> problems;
    if (Takes(s.archive(), path, head)) {
      ArchiveMembers archive;
      if (!OpenArchive(s, source, &archive)) continue;
      problems = ArchiveProblems(archive, head);
      for (const std::string& problem : MemberPictureProblems(s, archive, &budget))
        problems.push_back(problem);
    } else if (Takes(s.picture(), path, head)) {
      problems = PictureProblems(s, source, &budget);
    } else {
      s.Fail(path, "neither plug-in takes it (not an NSC archive or a GCmpSH0 picture)",
             kExitInputError);
      continue;
    }
    for (const std::string& problem : problems) s.Fail(path, problem, kExitInputError);
    if (problems.empty()) std::fprintf(s.context.out, "%s: ok\n", Printable(path).c_str());
  }
}
