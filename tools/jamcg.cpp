// This file contains jamcg's commands.
#include "tools/jamcg.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>

#include "support/platform.h"
#include "tools/file_names.h"
#include "tools/image_files.h"
#include "tools/output_files.h"
#include "tools/plugin_calls.h"
#include "tools/progress_bar.h"
#include "writers/gcmp_writer.h"
#include "writers/nsc_writer.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

#ifdef _WIN32
constexpr bool kBackslashSeparates = true;
#else
constexpr bool kBackslashSeparates = false;
#endif

constexpr std::uint32_t kMemoryInput = 0x1;
constexpr std::uint32_t kHeadSize = 2048;

const char* const kUsage =
    "usage: jamcg [--plugins DIR] COMMAND [OPTIONS] ARGS...\n"
    "\n"
    "Lists, extracts and converts NSC archives and GCmpSH0 pictures through the\n"
    "vizuz.spi and orbelint.spi plug-ins, and packs and encodes new ones.\n"
    "\n"
    "commands:\n"
    "  info FILE...                  which plug-in takes each file, and what it holds\n"
    "  list [--json] ARCHIVE         the members of an archive\n"
    "  extract ARCHIVE [NAME...] [-o DIR]\n"
    "                                members (all, or the named ones) into DIR\n"
    "  convert INPUT... [-o OUT]     pictures, or every picture in archives, to PNG or BMP\n"
    "  pack FILE... -o ARCHIVE.nsc   files into a new NSC archive\n"
    "  encode IMAGE -o PICTURE       a PNG, BMP or PPM file into a GCmpSH0 picture\n"
    "\n"
    "options: -o PATH (output), -f (replace existing outputs), -q (no progress bar),\n"
    "         --help (with a command: that command's help)\n"
    "\n"
    "exit codes: 0 done; 1 an input could not be read or is not what it should be;\n"
    "            2 usage error; 3 an output exists (without -f) or cannot be written;\n"
    "            4 out of memory; 130 cancelled with Ctrl-C\n";

const std::map<std::string, const char*> kCommandHelp = {
    {"info",
     "usage: jamcg info FILE...\n"
     "For each file: which plug-in takes it (its kind code and file-name pattern, and\n"
     "what IsSupported says of the file's first 2048 bytes), and what it holds: a\n"
     "picture's size and depth, or an archive's member count and total size.\n"},
    {"list",
     "usage: jamcg list [--json] ARCHIVE\n"
     "The members that GetArchiveInfo reports: name, position in the archive, size.\n"
     "--json prints one JSON object per line instead of a table.\n"},
    {"extract",
     "usage: jamcg extract [-f] [-q] ARCHIVE [NAME...] [-o DIR]\n"
     "Extracts every listed member, or the members NAME... (numbers, as 7 or 007),\n"
     "into DIR (default: the current folder), each as a file named for its number.\n"},
    {"convert",
     "usage: jamcg convert [-f] [-q] INPUT... [-o OUT]\n"
     "Decodes GCmpSH0 pictures into PNG or BMP files, upright. For one picture, OUT is\n"
     "the output file (its extension, .png or .bmp, chooses the format); otherwise OUT\n"
     "is a folder (default: beside each input, with the extension replaced). An NSC\n"
     "archive converts each member that is a picture, straight from memory, into\n"
     "OUT/NAME.png (default OUT: the archive's name without its extension).\n"},
    {"pack",
     "usage: jamcg pack [-f] FILE... -o ARCHIVE.nsc\n"
     "Packs the files, in the order given, into a new NSC archive. Only the last file\n"
     "may be empty.\n"},
    {"encode",
     "usage: jamcg encode [-f] IMAGE -o PICTURE\n"
     "Encodes a PNG, BMP or PPM picture (1 to 32767 pixels wide, 9 to 32767 high) as\n"
     "a GCmpSH0 picture.\n"},
};

struct Options {
  std::vector<std::string> operands;
  std::string output;
  bool replace = false;
  bool quiet = false;
  bool json = false;
  bool help = false;
};

struct Session {
  const ToolContext& context;
  const Options& options;
  int exit_code = kExitOk;

  const ArchiveApi& archive() const { return context.plugins->archive; }
  const PictureApi& picture() const { return context.plugins->picture; }

  // Reports a failure about `subject` and keeps the worst exit code.
  // A cancellation is reported once, at the end, and what fails because of
  // it (an interrupted read) is not reported at all.
  void Fail(const std::string& subject, const std::string& message, int code) {
    if (code != kExitCancelled && !Cancelled())
      std::fprintf(context.err, "jamcg: %s%s%s\n", subject.c_str(), subject.empty() ? "" : ": ",
                   message.c_str());
    if (exit_code == kExitOk || code == kExitCancelled) exit_code = code;
  }

  bool Cancelled() const { return context.interrupted != nullptr && context.interrupted->load(); }

  ProgressBar Bar(const std::string& label) const {
    ProgressBar bar;
    bar.terminal = context.stderr_is_terminal && !options.quiet ? context.err : nullptr;
    bar.interrupted = context.interrupted;
    bar.label = label;
    return bar;
  }
};

// What each status code means to a user, for the plug-in that returned it.
std::string StatusText(std::int32_t status, bool picture, const std::string& file,
                       const std::string& error = "") {
  switch (status) {
    case kUnspellableName: return error;
    case Cancelled: return "cancelled";
    case UnsupportedFormat: return picture ? "not a GCmpSH0 picture" : "not an NSC archive";
    case BrokenData: return "broken pixel data";
    case NoMemory: return "out of memory";
    case MemoryError: return "empty member, or memory that cannot be locked";
    case ReadError: return "cannot read " + file;
    case OutputError: return "cannot write the output";
    default: return "failed with status " + std::to_string(status);
  }
}

int ExitCodeOf(std::int32_t status) {
  switch (status) {
    case Cancelled: return kExitCancelled;
    case NoMemory: return kExitNoMemory;
    case OutputError: return kExitOutputError;
    default: return kExitInputError;
  }
}

// The first 2048 bytes of a file (zeros after its end), as IsSupported wants them.
bool ReadHead(const std::string& path, Bytes* head, std::string* error) {
  Bytes bytes;
  if (!ReadInputFile(path, &bytes, error, kHeadSize)) return false;
  bytes.resize(kHeadSize);
  *head = std::move(bytes);
  return true;
}

std::uintptr_t Probe(const Bytes& head) { return reinterpret_cast<std::uintptr_t>(head.data()); }

// IsSupported(W) on a file's head, with the file's name spelled as the
// plug-in takes it (the plug-ins judge the head alone).
template <class Api>
bool Takes(const Api& api, const std::string& path, const Bytes& head) {
  PluginName name;
  std::string ignored;
  if (SpellForPlugin(path, api.IsSupportedW != nullptr, &name, &ignored) && name.wide)
    return api.IsSupportedW(name.utf16.c_str(), Probe(head)) == 1;
  return api.IsSupported(name.ansi.c_str(), Probe(head)) == 1;
}

std::string InfoText(std::int32_t(SPI_CALL* info)(std::int32_t, char*, std::int32_t), int number) {
  char text[256] = {};
  info(number, text, sizeof text);
  return text;
}

bool MatchesPattern(const std::string& path, const std::string& pattern) {
  if (pattern == "*.*" || pattern == "*") return true;
  if (pattern.rfind("*.", 0) != 0) return false;
  std::string name = NameOf(PathOf(path).filename()), ext = pattern.substr(1);
  if (name.size() < ext.size()) return false;
  std::string tail = name.substr(name.size() - ext.size());
  std::transform(tail.begin(), tail.end(), tail.begin(), ::tolower);
  std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
  return tail == ext;
}

// The members GetArchiveInfo lists, in order.
bool ListMembers(Session& s, const std::string& path, std::vector<Member>* members) {
  std::string error;
  const std::int32_t status = ListArchive(s.archive(), path, members, &error);
  if (status != Ok) {
    s.Fail(path, StatusText(status, false, path, error), ExitCodeOf(status));
    return false;
  }
  return true;
}

// ---- info ----

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

// ---- list ----

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

// ---- extract ----

// The members whose bytes the archive file holds. A member that runs past the
// file's end (a broken table, or a boundary that wrapped) is reported and
// left out: the plug-in would fill it with zeros, or fail for want of memory.
std::vector<Member> WholeMembers(Session& s, const std::string& path,
                                 const std::vector<Member>& members) {
  std::error_code code;
  const std::uint64_t file_size = fs::file_size(PathOf(path), code);
  std::vector<Member> whole;
  for (const Member& m : members) {
    if (!code && (m.position > file_size || m.size > file_size - m.position)) {
      s.Fail(path + ": " + m.name,
             "broken archive: the member runs past the end of the file (" +
                 std::to_string(m.position) + " + " + std::to_string(m.size) + " > " +
                 std::to_string(file_size) + " bytes)",
             kExitInputError);
      continue;
    }
    whole.push_back(m);
  }
  return whole;
}

void Extract(Session& s) {
  if (s.options.operands.empty()) {
    s.Fail("extract", "give an archive", kExitUsage);
    return;
  }
  const std::string& path = s.options.operands[0];
  const std::string folder = s.options.output.empty() ? "." : s.options.output;
  std::vector<Member> members;
  if (s.options.operands.size() == 1) {
    if (!ListMembers(s, path, &members)) return;
  } else {
    for (std::size_t i = 1; i < s.options.operands.size(); ++i) {
      const std::string& name = s.options.operands[i];
      Member member;
      std::string error;
      const std::int32_t status = DescribeMember(s.archive(), path, name, &member, &error);
      if (status == ReadError) {
        s.Fail(path, "no member named " + name + " (or the archive cannot be read)",
               kExitInputError);
      } else if (status != Ok) {
        s.Fail(path, StatusText(status, false, path, error), ExitCodeOf(status));
        return;
      } else {
        members.push_back(member);
      }
    }
  }
  members = WholeMembers(s, path, members);
  // The folder is made only when there is something to put in it.
  bool made_folder = false;
  std::error_code code;
  const fs::path folder_path = PathOf(folder);
  for (const Member& m : members) {
    if (s.Cancelled()) break;
    const std::string target = NameOf(folder_path / m.name);
    std::string error;
    if (SameFile(target, path)) {
      s.Fail(target, "is the archive being extracted; choose another output folder",
             kExitOutputError);
      continue;
    }
    if (!MayWriteOutput(target, s.options.replace, &error)) {
      s.Fail("", error, kExitOutputError);
      continue;
    }
    ProgressBar bar = s.Bar(m.name);
    MemoryHandle block = nullptr;
    const std::int32_t status = ExtractToMemory(s.archive(), path, m.position, &block, &error,
                                                DrawProgress, reinterpret_cast<HostInt>(&bar));
    ClearProgress(bar);
    if (status != Ok) {
      s.Fail(path + ": " + m.name, StatusText(status, false, path, error), ExitCodeOf(status));
      if (status == Cancelled) break;
      continue;
    }
    const Bytes bytes = TakeResultBlock(block);
    if (!fs::is_directory(folder_path, code)) {
      fs::create_directories(folder_path, code);
      if (code) {
        s.Fail(folder, "cannot create the folder: " + code.message(), kExitOutputError);
        return;
      }
      made_folder = true;
    }
    if (!WriteOutputFile(target, bytes, s.options.replace, &error))
      s.Fail("", error, kExitOutputError);
  }
  if (made_folder && fs::is_empty(folder_path, code)) fs::remove(folder_path, code);
}

// ---- convert ----

bool WantsBmp(const std::string& path) {
  std::string ext = NameOf(PathOf(path).extension());
  std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
  return ext == ".bmp" || (ext != ".png" && !PngSupported());
}

std::string DefaultExtension() { return PngSupported() ? ".png" : ".bmp"; }

// Writes the picture GetPicture handed over (status Ok) to `output`, or
// reports why there is none.
void WritePicture(Session& s, const std::string& label, std::int32_t status,
                  const std::string& error, MemoryHandle info, MemoryHandle bits,
                  const std::string& output) {
  if (status != Ok) {
    s.Fail(label, StatusText(status, true, label, error), ExitCodeOf(status));
    return;
  }
  const Bytes header = TakeResultBlock(info);
  const Bytes pixels = TakeResultBlock(bits);
  std::int32_t width = 0, height = 0;
  std::memcpy(&width, &header[4], 4);
  std::memcpy(&height, &header[8], 4);
  const Image image = ImageFromDib(width, height, pixels.data());
  Bytes file;
  std::string problem;
  if (WantsBmp(output)) {
    file = EncodeBmp(image);
  } else if (!EncodePng(image, &file, &problem, s.context.interrupted)) {
    s.Fail(output, problem, kExitOutputError);
    return;
  }
  if (!WriteOutputFile(output, file, s.options.replace, &problem))
    s.Fail("", problem, kExitOutputError);
}

// Decodes a picture file with GetPicture(W) and writes it to `output`.
void ConvertPictureFile(Session& s, const std::string& path, const std::string& output) {
  MemoryHandle info = nullptr, bits = nullptr;
  ProgressBar bar = s.Bar(path);
  std::string error;
  const std::int32_t status = DecodePictureFile(s.picture(), path, &info, &bits, DrawProgress,
                                                reinterpret_cast<HostInt>(&bar), &error);
  ClearProgress(bar);
  WritePicture(s, path, status, error, info, bits, output);
}

// Decodes a picture held in memory with GetPicture and writes it to `output`.
void ConvertPictureBlock(Session& s, const std::string& label, const Bytes& bytes,
                         const std::string& output) {
  MemoryHandle info = nullptr, bits = nullptr;
  ProgressBar bar = s.Bar(label);
  const std::int32_t status =
      s.picture().GetPicture(bytes.data(), static_cast<HostInt>(bytes.size()), kMemoryInput, &info,
                             &bits, DrawProgress, reinterpret_cast<HostInt>(&bar));
  ClearProgress(bar);
  WritePicture(s, label, status, "", info, bits, output);
}

void ConvertArchive(Session& s, const std::string& path, const fs::path& folder) {
  std::vector<Member> members;
  if (!ListMembers(s, path, &members)) return;
  std::error_code code;
  fs::create_directories(folder, code);
  std::size_t converted = 0;
  for (const Member& m : members) {
    if (s.Cancelled()) {
      s.Fail(path, "cancelled", kExitCancelled);
      return;
    }
    // The member to memory, then the picture from that block.
    MemoryHandle block = nullptr;
    std::string error;
    const std::int32_t status = ExtractToMemory(s.archive(), path, m.position, &block, &error);
    if (status != Ok) {
      s.Fail(path + ": " + m.name, StatusText(status, false, path, error), ExitCodeOf(status));
      continue;
    }
    const Bytes bytes = TakeResultBlock(block);
    Bytes head(bytes.begin(), bytes.begin() + std::min<std::size_t>(bytes.size(), kHeadSize));
    head.resize(kHeadSize);
    if (s.picture().IsSupported(m.name.c_str(), Probe(head)) != 1) continue;
    ConvertPictureBlock(s, path + ": " + m.name, bytes,
                        NameOf(folder / (m.name + DefaultExtension())));
    ++converted;
  }
  if (!s.options.quiet)
    std::fprintf(s.context.err, "%s: %zu of %zu members were pictures\n", path.c_str(), converted,
                 members.size());
}

void Convert(Session& s) {
  const auto& inputs = s.options.operands;
  if (inputs.empty()) {
    s.Fail("convert", "give at least one input", kExitUsage);
    return;
  }
  for (const std::string& path : inputs) {
    if (s.Cancelled()) break;
    Bytes head;
    std::string error;
    if (!ReadHead(path, &head, &error)) {
      s.Fail(path, error, kExitInputError);
      continue;
    }
    const fs::path stem = PathOf(path).replace_extension();
    // Several inputs, or an output that is a folder (or is spelled as one),
    // go into that folder.
    std::error_code code;
    const std::string& out = s.options.output;
    const bool to_folder =
        !out.empty() && (inputs.size() > 1 || fs::is_directory(PathOf(out), code) ||
                         out.back() == '/' || (kBackslashSeparates && out.back() == '\\'));
    const fs::path base = to_folder ? PathOf(s.options.output) / stem.filename() : stem;
    if (Takes(s.archive(), path, head)) {
      ConvertArchive(s, path,
                     s.options.output.empty() || to_folder ? base : PathOf(s.options.output));
    } else if (Takes(s.picture(), path, head)) {
      std::string output = s.options.output.empty() || to_folder ? NameOf(base) + DefaultExtension()
                                                                 : s.options.output;
      std::error_code code;
      if (to_folder) fs::create_directories(PathOf(s.options.output), code);
      ConvertPictureFile(s, path, output);
    } else {
      s.Fail(path, "not a GCmpSH0 picture or an NSC archive", kExitInputError);
    }
  }
}

// Copies exactly `size` bytes of the file at `path` into `out`, in pieces,
// stopping when the user asks to. False (reported) when the file cannot be
// read, has changed size meanwhile, or the output cannot be written.
bool CopyInto(Session& s, const std::string& path, std::uint64_t size, OutputFile& out) {
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
  }
  if (in.peek() != std::char_traits<char>::eof()) {
    s.Fail(path, "changed while it was being packed (it became longer)", kExitInputError);
    return false;
  }
  return true;
}

// ---- pack and encode ----

// The 32-bit plug-in positions with a signed 32-bit distance: every member
// must start below 2 GiB for it to be read back.
constexpr std::uint64_t kLastReadableStart = 0x7FFFFFFF;

void Pack(Session& s) {
  if (s.options.operands.empty() || s.options.output.empty()) {
    s.Fail("pack", "give the files and -o ARCHIVE.nsc", kExitUsage);
    return;
  }
  // Every member is checked before anything is written: the plug-ins list
  // only members of 2 bytes or more, and read only those that start below
  // 2 GiB (32-bit edition) and end below 4 GiB.
  const auto& inputs = s.options.operands;
  std::vector<std::uint64_t> sizes;
  std::uint64_t start = 4 * (std::max<std::size_t>(inputs.size(), 2) + 2);
  for (const std::string& path : inputs) {
    std::string problem = InputProblem(path);
    std::error_code code;
    if (problem.empty() && !fs::is_regular_file(PathOf(path), code))
      problem = "not a regular file (pack needs files whose size is known)";
    const std::uint64_t size = problem.empty() ? fs::file_size(PathOf(path), code) : 0;
    if (!problem.empty() || code) {
      s.Fail(path, "cannot read it: " + (problem.empty() ? code.message() : problem),
             kExitInputError);
      return;
    }
    if (SameFile(path, s.options.output)) {
      s.Fail(path, "is the archive being written", kExitUsage);
      return;
    }
    if (size < 2) {
      s.Fail(path,
             "has " + std::to_string(size) +
                 " bytes; hosts list only members of 2 bytes or more, so it could not be "
                 "extracted again",
             kExitInputError);
      return;
    }
    if (start > kLastReadableStart) {
      s.Fail(path, "would start past 2 GiB into the archive, where 32-bit hosts cannot read it",
             kExitInputError);
      return;
    }
    start += size;
    if (start > 0xFFFFFFFFu) {
      s.Fail(path, "would end past 4 GiB into the archive, beyond what NSC archives can hold",
             kExitInputError);
      return;
    }
    sizes.push_back(size);
  }
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
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    if (!CopyInto(s, inputs[i], sizes[i], out)) return;
  }
  if (!PlaceOutput(out, s.options.replace, &error)) s.Fail("", error, kExitOutputError);
}

void Encode(Session& s) {
  if (s.options.operands.size() != 1 || s.options.output.empty()) {
    s.Fail("encode", "give one picture and -o PICTURE", kExitUsage);
    return;
  }
  const std::string& path = s.options.operands[0];
  Image image;
  std::string error;
  if (!ReadImageFile(path, &image, &error, s.context.interrupted)) {
    s.Fail(path, error, kExitInputError);
    return;
  }
  const Bytes stream = StreamPixels(image);
  Bytes picture;
  if (!EncodeGcmpPicture(stream.data(), image.width, image.height, &picture)) {
    s.Fail(path,
           "GCmpSH0 pictures are 1 to 32767 pixels wide and 9 to 32767 high; this one is " +
               std::to_string(image.width) + "x" + std::to_string(image.height),
           kExitInputError);
    return;
  }
  if (!WriteOutputFile(s.options.output, picture, s.options.replace, &error))
    s.Fail("", error, kExitOutputError);
}

// Reads the options after the command; false on an unknown option.
bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* error) {
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-o" || a == "--output") {
      if (i + 1 == args.size()) return *error = a + " needs a path", false;
      options->output = args[++i];
    } else if (a == "-f" || a == "--force") {
      options->replace = true;
    } else if (a == "-q" || a == "--quiet") {
      options->quiet = true;
    } else if (a == "--json") {
      options->json = true;
    } else if (a == "-h" || a == "--help") {
      options->help = true;
    } else if (a == "--") {
      options->operands.insert(options->operands.end(),
                               args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
      break;
    } else if (a.size() > 1 && a[0] == '-') {
      return *error = "unknown option " + a, false;
    } else {
      options->operands.push_back(a);
    }
  }
  return true;
}

}  // namespace

int RunJamcg(const std::vector<std::string>& args, const ToolContext& context) {
  if (args.empty() || args[0] == "-h" || args[0] == "--help" || args[0] == "help") {
    std::fputs(kUsage, args.empty() ? context.err : context.out);
    return args.empty() ? kExitUsage : kExitOk;
  }
  const std::string& command = args[0];
  auto help = kCommandHelp.find(command);
  if (help == kCommandHelp.end()) {
    std::fprintf(context.err, "jamcg: unknown command %s\n\n%s", command.c_str(), kUsage);
    return kExitUsage;
  }
  Options options;
  std::string error;
  if (!ParseOptions(args, &options, &error)) {
    std::fprintf(context.err, "jamcg: %s\n%s", error.c_str(), help->second);
    return kExitUsage;
  }
  if (options.help) {
    std::fputs(help->second, context.out);
    return kExitOk;
  }
  Session session{context, options};
  if (command == "info") Info(session);
  if (command == "list") List(session);
  if (command == "extract") Extract(session);
  if (command == "convert") Convert(session);
  if (command == "pack") Pack(session);
  if (command == "encode") Encode(session);
  if (session.exit_code == kExitUsage) std::fputs(help->second, context.err);
  if (session.Cancelled() || session.exit_code == kExitCancelled) {
    std::fputs("jamcg: cancelled; no partial output was left\n", context.err);
    return kExitCancelled;
  }
  return session.exit_code;
}
