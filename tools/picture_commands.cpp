// This file contains jamcg's picture commands: convert and encode.
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

namespace {

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

}  // namespace

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
