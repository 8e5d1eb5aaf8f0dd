// This file contains jamcg's archive commands: extract and pack.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "file_names/output_files.h"
#include "image_files/image_files.h"
#include "jamcg/jamcg_session.h"
#include "writers/gcmp_writer.h"
#include "writers/nsc_writer.h"

namespace fs = std::filesystem;

namespace {

// The members whose bytes the archive file holds. A member that runs past the
// file's end (a broken table, or a boundary that wrapped) is reported and
// left out: the plug-in would fill it with zeros, or fail for want of memory.
std::vector<Member> WholeMembers(Session& s, const ArchiveMembers& archive,
                                 const std::vector<Member>& members) {
  std::vector<Member> whole;
  for (const Member& m : members) {
    if (PastTheEnd(archive, m)) {
      s.Fail(archive.source.name + ": " + m.name,
             "broken archive: the member " + PastTheEndText(archive, m), kExitInputError);
      continue;
    }
    whole.push_back(m);
  }
  return whole;
}

// Copies exactly `size` bytes of the file at `path` into `out`, in pieces,
// stopping when the user asks to. False (reported) when the file cannot be
// read, has changed size meanwhile, or the output cannot be written.
bool CopyInto(Session& s, const std::string& path, std::uint64_t size, OutputFile& out,
              ProgressBar& bar, std::uint64_t* copied, std::uint64_t total) {
  std::ifstream in(PathOf(path), std::ios::binary);
  if (!in) {
    s.Fail(path, "cannot read it: " + std::string(std::strerror(errno)), kExitInputError);
    return false;
  }
  std::vector<char> piece(1 << 20);
  std::string error;
  for (std::uint64_t left = size; left != 0;) {
    if (s.Cancelled()) {
      s.Fail(path, "cancelled", kExitCancelled);
      return false;
    }
    const auto want = static_cast<std::streamsize>(std::min<std::uint64_t>(left, piece.size()));
    in.read(piece.data(), want);
    if (in.gcount() != want) {
      s.Fail(path, "changed while it was being packed (it became shorter)", kExitInputError);
      return false;
    }
    if (!WriteOutput(out, piece.data(), static_cast<std::size_t>(want), &error)) {
      s.Fail("", error, kExitOutputError);
      return false;
    }
    left -= static_cast<std::uint64_t>(want);
    *copied += static_cast<std::uint64_t>(want);
    DrawProgress(static_cast<std::int32_t>(*copied * 1000 / total), 1000,
                 reinterpret_cast<HostInt>(&bar));
  }
  if (in.peek() != std::char_traits<char>::eof()) {
    s.Fail(path, "changed while it was being packed (it became longer)", kExitInputError);
    return false;
  }
  return true;
}

// The 32-bit plug-in positions with a signed 32-bit distance: every member
// must start below 2 GiB for it to be read back.
constexpr std::uint64_t kLastReadableStart = 0x7FFFFFFF;

}  // namespace

// The members named on the command line (each once), or every listed member
// when none is named; false when the command cannot go on.
bool NamedMembers(Session& s, const std::string& path, const ArchiveMembers& archive,
                  std::vector<Member>* members) {
  if (s.options.operands.size() == 1) {
    for (std::size_t i = 0; i < ListedCount(archive); ++i)
      members->push_back(ListedMember(archive, i));
    return true;
  }
  for (std::size_t i = 1; i < s.options.operands.size(); ++i) {
    const std::string& name = s.options.operands[i];
    Member member;
    std::string error;
    const std::int32_t status = FindMember(*s.context.plugins, archive, name, &member, &error);
    if (status == ReadError) {
      s.Fail(path, "no member named " + name + " (or the archive cannot be read)", kExitInputError);
    } else if (status != Ok) {
      s.Fail(path, StatusText(status, false, path, error), ExitCodeOf(status));
      return false;
    } else if (std::none_of(members->begin(), members->end(),
                            [&](const Member& m) { return m.position == member.position; })) {
      members->push_back(member);
    }
  }
  return true;
}

// Writes one member to `target` (a file, or "-" for standard output, as it
// is), showing its progress; false when it failed (reported).
bool ExtractMember(Session& s, const std::string& path, const ArchiveMembers& archive,
                   const Member& m, const std::string& target) {
  std::string error;
  OutputFile out;
  if (!OpenOutput(target, target == "-" || s.options.replace, &out, &error)) {
    s.Fail("", error, kExitOutputError);
    return false;
  }
  ProgressBar bar = s.Bar(m.name);
  const std::int32_t status = CopyMember(*s.context.plugins, archive, m, out, &error, DrawProgress,
                                         reinterpret_cast<HostInt>(&bar));
  ClearProgress(bar);
  if (status == OutputError || (status == Ok && !PlaceOutput(out, s.options.replace, &error))) {
    s.Fail("", error, kExitOutputError);
    return false;
  }
  if (status != Ok) {
    s.Fail(path + ": " + m.name, StatusText(status, false, path, error), ExitCodeOf(status));
    return false;
  }
  return true;
}

void Extract(Session& s) {
  if (s.options.operands.empty()) {
    s.Fail("extract", "give an archive", kExitUsage);
    return;
  }
  Source source;
  ArchiveMembers archive;
  std::vector<Member> named;
  if (!ReadOperand(s, s.options.operands[0], &source) || !OpenArchive(s, source, &archive) ||
      !NamedMembers(s, source.name, archive, &named))
    return;
  const std::string& path = source.name;
  const std::vector<Member> members = WholeMembers(s, archive, named);
  if (s.options.output == "-") {
    if (members.size() == 1)
      ExtractMember(s, path, archive, members[0], "-");
    else
      s.Fail("extract", "standard output takes one member; name it, or give -o a folder",
             kExitUsage);
    return;
  }
  // The folder is made only when there is something to put in it.
  const std::string folder = s.options.output.empty() ? "." : s.options.output;
  const fs::path folder_path = PathOf(folder);
  bool made_folder = false;
  std::error_code code;
  for (const Member& m : members) {
    if (s.Cancelled()) break;
    const std::string target = NameOf(folder_path / m.name);
    std::string error;
    if (!source.memory && SameFile(target, path)) {
      s.Fail(target, "is the archive being extracted; choose another output folder",
             kExitOutputError);
      continue;
    }
    if (!MayWriteOutput(target, s.options.replace, &error)) {
      s.Fail("", error, kExitOutputError);
      continue;
    }
    if (!fs::is_directory(folder_path, code)) {
      fs::create_directories(folder_path, code);
      if (code) {
        s.Fail(folder, "cannot create the folder: " + code.message(), kExitOutputError);
        return;
      }
      made_folder = true;
    }
    ExtractMember(s, path, archive, m, target);
  }
  if (made_folder && fs::is_empty(folder_path, code)) fs::remove(folder_path, code);
}

// The size of each file to pack, every one checked before anything is
// written: the plug-ins list only members of 2 bytes or more, and read only
// those that start below 2 GiB (32-bit edition) and end below 4 GiB. False
// when one cannot be packed (reported).
bool PackedSizes(Session& s, std::vector<std::uint64_t>* sizes) {
  const auto& inputs = s.options.operands;
  std::uint64_t start = 4 * (std::max<std::size_t>(inputs.size(), 2) + 2);
  for (const std::string& path : inputs) {
    if (path == "-") {
      s.Fail("pack", "pack takes files, whose sizes it must know first, not standard input",
             kExitUsage);
      return false;
    }
    std::string problem = InputProblem(path);
    std::error_code code;
    if (problem.empty() && !fs::is_regular_file(PathOf(path), code))
      problem = "not a regular file (pack needs files whose size is known)";
    const std::uint64_t size = problem.empty() ? fs::file_size(PathOf(path), code) : 0;
    if (!problem.empty() || code)
      return s.Fail(path, "cannot read it: " + (problem.empty() ? code.message() : problem),
                    kExitInputError),
             false;
    if (SameFile(path, s.options.output))
      return s.Fail(path, "is the archive being written", kExitUsage), false;
    if (size < 2)
      return s.Fail(path,
                    "has " + std::to_string(size) + (size == 1 ? " byte" : " bytes") +
                        "; hosts list only members of 2 bytes or more, so it could not be "
                        "extracted again",
                    kExitInputError),
             false;
    if (start > kLastReadableStart)
      return s.Fail(path,
                    "would start past 2 GiB into the archive, where 32-bit hosts cannot read it",
                    kExitInputError),
             false;
    start += size;
    if (start > 0xFFFFFFFFu)
      return s.Fail(path,
                    "would end past 4 GiB into the archive, beyond what NSC archives can hold",
                    kExitInputError),
             false;
    sizes->push_back(size);
  }
  return true;
}

void Pack(Session& s) {
  if (s.options.operands.empty() || s.options.output.empty()) {
    s.Fail("pack", "give the files and -o ARCHIVE.nsc", kExitUsage);
    return;
  }
  std::vector<std::uint64_t> sizes;
  if (!PackedSizes(s, &sizes)) return;
  Bytes table;
  std::string error;
  if (!NscTable(sizes, &table, &error)) {
    s.Fail(s.options.output, error, kExitInputError);
    return;
  }
  // Streamed: the table, then each file in pieces, under a temporary name.
  OutputFile out;
  if (!OpenOutput(s.options.output, s.options.replace, &out, &error) ||
      !WriteOutput(out, table.data(), table.size(), &error)) {
    s.Fail("", error, kExitOutputError);
    return;
  }
  ProgressBar bar = s.Bar(NameOf(PathOf(s.options.output).filename()));
  std::uint64_t copied = 0, total = 1;
  for (std::uint64_t size : sizes) total += size;
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    if (!CopyInto(s, s.options.operands[i], sizes[i], out, bar, &copied, total)) {
      ClearProgress(bar);
      return;
    }
  }
  ClearProgress(bar);
  if (!PlaceOutput(out, s.options.replace, &error)) s.Fail("", error, kExitOutputError);
}
