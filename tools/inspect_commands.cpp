// This file contains jamcg's commands that look at files without writing:
// info and list.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "tools/image_files.h"
#include "tools/jamcg_session.h"
#include "tools/output_files.h"
#include "writers/gcmp_writer.h"
#include "writers/nsc_writer.h"

namespace fs = std::filesystem;

void Info(Session& s) {
  if (s.options.operands.empty()) {
    s.Fail("info", "give at least one file", kExitUsage);
    return;
  }
  const ArchiveApi& a = s.archive();
  const PictureApi& p = s.picture();
  for (const std::string& path : s.options.operands) {
    Bytes head;
    std::string error;
    if (!ReadHead(path, &head, &error)) {
      s.Fail(path, error, kExitInputError);
      continue;
    }
    if (Takes(a, path, head)) {
      std::string line =
          "NSC archive (" + std::string(kArchivePluginFile) + ", " + InfoText(a.GetPluginInfo, 0) +
          ", " + InfoText(a.GetPluginInfo, 2) +
          (MatchesPattern(path, InfoText(a.GetPluginInfo, 2)) ? "" : ", name does not match") + ")";
      std::vector<Member> members;
      if (ListMembers(s, path, &members)) {
        std::uint64_t total = 0;
        for (const Member& m : members) total += m.size;
        std::fprintf(s.context.out, "%s: %s: %zu members, %llu bytes\n", path.c_str(), line.c_str(),
                     members.size(), static_cast<unsigned long long>(total));
      }
    } else if (Takes(p, path, head)) {
      PictureInfoRecord record{};
      const std::int32_t status = DescribePicture(p, path, &record, &error);
      if (status != Ok) {
        s.Fail(path, StatusText(status, true, path, error), ExitCodeOf(status));
        continue;
      }
      std::fprintf(s.context.out, "%s: GCmpSH0 picture (%s, %s, %s): %dx%d, %d bits\n",
                   path.c_str(), kPicturePluginFile, InfoText(p.GetPluginInfo, 0).c_str(),
                   InfoText(p.GetPluginInfo, 2).c_str(), record.width, record.height,
                   record.color_depth);
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
  const std::string& path = s.options.operands[0];
  std::vector<Member> members;
  if (!ListMembers(s, path, &members)) return;
  if (!s.options.json) std::fprintf(s.context.out, "%-8s %12s %12s\n", "name", "position", "size");
  for (const Member& m : members) {
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
