// This file contains jamcg's picture commands: convert, encode and thumbnail.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "tools/image_files.h"
#include "tools/jamcg_session.h"
#include "tools/output_files.h"
#include "writers/gcmp_writer.h"
#include "writers/nsc_writer.h"

namespace fs = std::filesystem;

namespace {

// True for BMP output: by --format, else by the output's extension.
bool WantsBmp(const Session& s, const std::string& path) {
  if (!s.options.format.empty()) return s.options.format == "bmp";
  const std::string ext = AsciiLower(NameOf(PathOf(path).extension()));
  return ext == ".bmp";
}

// False, reported, when neither --format nor the extension says the format.
bool FormatKnown(Session& s, const std::string& path) {
  const std::string ext = AsciiLower(NameOf(PathOf(path).extension()));
  if (!s.options.format.empty() || ext == ".png" || ext == ".bmp") return true;
  s.Fail(path, "cannot tell which format to write: name it .png or .bmp, or give --format",
         kExitUsage);
  return false;
}

std::string DefaultExtension(const Session& s) {
  return s.options.format == "bmp" ? ".bmp" : ".png";
}

// Writes the picture GetPicture handed over (its two blocks' bytes) to `output`.
void WritePicture(Session& s, const Bytes& header, const Bytes& pixels, const std::string& output,
                  StepProgress* step) {
  std::int32_t width = 0, height = 0;
  std::memcpy(&width, &header[4], 4);
  std::memcpy(&height, &header[8], 4);
  const Image image = ImageFromDib(width, height, pixels.data());
  Bytes file;
  std::string problem;
  if (WantsBmp(s, output)) {
    file = EncodeBmp(image);
  } else if (!EncodePng(image, &file, &problem, s.context.interrupted, DrawSharedProgress,
                        reinterpret_cast<HostInt>(step))) {
    s.Fail(output, problem, kExitOutputError);
    return;
  }
  if (!WriteOutputFile(output, file, s.options.replace, &problem))
    s.Fail("", problem, kExitOutputError);
}

// One picture to convert: a picture file, or a member of an archive that
// may be one.
struct ConvertJob {
  std::string label;  // how it is named in messages and on the progress line
  Source source;      // the picture, or the archive
  bool member = false;
  Member which;  // the member, in the archive
  std::string output;
  std::atomic<std::size_t>* pictures = nullptr;  // the archive's count of members that were
};

// Converts one job, reporting its failures; a member that is no picture is
// skipped.
void RunJob(Session& s, const ConvertJob& job, SharedProgress& progress) {
  StepProgress step{&progress, job.label};
  MemoryHandle info = nullptr, bits = nullptr;
  std::string error;
  std::int32_t status;
  Bytes data;  // the picture's bytes, where they are at hand
  if (job.member) {
    // The member to memory, then the picture from that block.
    MemoryHandle block = nullptr;
    // Extracting, decoding and encoding each fill a part of the line.
    step.span = 25;
    status = ExtractToMemory(s.archive(), job.source, job.which, &block, &error, DrawSharedProgress,
                             reinterpret_cast<HostInt>(&step));
    step.base = 25;
    step.span = 50;
    if (status != Ok) {
      s.Fail(job.label, StatusText(status, false, job.source.name, error), ExitCodeOf(status));
      FinishStep(step);
      return;
    }
    data = TakeResultBlock(block);
    const Bytes& bytes = data;
    Bytes head(bytes.begin(), bytes.begin() + std::min<std::size_t>(bytes.size(), kHeadSize));
    head.resize(kHeadSize);
    if (s.picture().IsSupported("", Probe(head)) != 1) {
      FinishStep(step);
      return;
    }
    ++*job.pictures;
    status =
        s.picture().GetPicture(bytes.data(), static_cast<HostInt>(bytes.size()), kMemoryInput,
                               &info, &bits, DrawSharedProgress, reinterpret_cast<HostInt>(&step));
  } else {
    step.span = 75;
    status = DecodePicture(s.picture(), job.source, &info, &bits, DrawSharedProgress,
                           reinterpret_cast<HostInt>(&step), &error);
  }
  if (status != Ok) {
    s.Fail(job.label, StatusText(status, true, job.label, error), ExitCodeOf(status));
    FinishStep(step);
    return;
  }
  const Bytes header = TakeResultBlock(info);
  const Bytes pixels = TakeResultBlock(bits);
  // The plug-in completes data that end early with black and reports
  // success; say so.
  if (!job.member) {
    if (job.source.memory) {
      data = *job.source.memory;
    } else {
      ReadInputFile(job.source.name, &data, &error, SIZE_MAX, s.context.interrupted);
    }
  }
  if (!data.empty() && DataEndEarly(s.picture(), data, pixels, 0xFF)) {
    std::lock_guard<std::mutex> hold(s.lock);
    std::fprintf(s.context.err,
                 "jamcg: warning: %s: the pixel data end before every pixel is coded; the rest "
                 "is black\n",
                 job.label.c_str());
  }
  step.base = 75;  // encoding: the last quarter
  step.span = 25;
  WritePicture(s, header, pixels, job.output, &step);
  FinishStep(step);
}

// Runs the jobs on `workers` threads; each takes the next job until none is
// left or the user asks to stop. The outputs do not depend on the number of
// workers: each job writes its own file.
void RunJobs(Session& s, const std::vector<ConvertJob>& jobs, unsigned workers) {
  SharedProgress progress;
  progress.terminal = s.context.stderr_is_terminal && !s.options.quiet ? s.context.err : nullptr;
  if (progress.terminal != nullptr) progress.columns = TerminalColumns(progress.terminal);
  progress.interrupted = s.context.interrupted;
  progress.total = jobs.size();
  std::atomic<std::size_t> next{0};
  auto work = [&] {
    for (std::size_t i; !s.Cancelled() && (i = next++) < jobs.size();) RunJob(s, jobs[i], progress);
  };
  workers = std::max(1u, std::min<unsigned>(workers, static_cast<unsigned>(jobs.size())));
  std::vector<std::thread> threads;
  for (unsigned w = 1; w < workers; ++w) threads.emplace_back(work);
  work();
  for (std::thread& thread : threads) thread.join();
  ClearSharedProgress(progress);
}

// Reads "black", "white", "#RRGGBB" or "RRGGBB"; the empty text is black.
bool ParseColour(const std::string& text, Background* colour) {
  if (text.empty() || text == "black") return *colour = Background{}, true;
  if (text == "white") return *colour = Background{255, 255, 255}, true;
  const std::string hex = !text.empty() && text[0] == '#' ? text.substr(1) : text;
  if (hex.size() != 6 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
    return false;
  const unsigned long value = std::strtoul(hex.c_str(), nullptr, 16);
  *colour = Background{static_cast<std::uint8_t>(value >> 16),
                       static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
  return true;
}

}  // namespace

void Convert(Session& s) {
  const auto& inputs = s.options.operands;
  if (inputs.empty()) {
    s.Fail("convert", "give at least one input", kExitUsage);
    return;
  }
  struct ArchiveCount {
    std::string path;
    std::size_t members;
    std::atomic<std::size_t> pictures{0};
  };
  std::vector<std::unique_ptr<ArchiveCount>> archives;
  std::vector<ConvertJob> jobs;
  for (const std::string& operand : inputs) {
    if (s.Cancelled()) break;
    Source source;
    Bytes head;
    if (!OpenOperand(s, operand, &source, &head)) continue;
    const std::string& path = source.name;
    // Standard input has no name to give its outputs: "stdin".
    const fs::path stem = source.memory ? fs::path("stdin") : PathOf(path).replace_extension();
    // Several inputs, or an output that is a folder (or is spelled as one),
    // go into that folder.
    std::error_code code;
    const std::string& out = s.options.output;
    const bool to_folder = !out.empty() && out != "-" &&
                           (inputs.size() > 1 || fs::is_directory(PathOf(out), code) ||
                            out.back() == '/' || (kBackslashSeparates && out.back() == '\\'));
    const fs::path base = to_folder ? PathOf(out) / stem.filename() : stem;
    if (Takes(s.archive(), path, head)) {
      std::vector<Member> members;
      if (out == "-") {
        s.Fail(path, "an archive's pictures go into a folder, not to standard output", kExitUsage);
        continue;
      }
      if (!ListMembers(s, source, &members)) continue;
      const fs::path folder = out.empty() || to_folder ? base : PathOf(out);
      fs::create_directories(folder, code);
      archives.push_back(std::make_unique<ArchiveCount>());
      archives.back()->path = path;
      archives.back()->members = members.size();
      for (const Member& m : members) {
        ConvertJob job;
        job.label = path + ": " + m.name;
        job.source = source;
        job.member = true;
        job.which = m;
        job.output = NameOf(folder / (m.name + DefaultExtension(s)));
        job.pictures = &archives.back()->pictures;
        jobs.push_back(job);
      }
    } else if (Takes(s.picture(), path, head)) {
      if (!out.empty() && out != "-" && !to_folder && !FormatKnown(s, out)) return;
      if (to_folder) fs::create_directories(PathOf(out), code);
      ConvertJob job;
      job.label = path;
      job.source = source;
      job.output = out.empty() || to_folder ? NameOf(base) + DefaultExtension(s) : out;
      jobs.push_back(job);
    } else {
      s.Fail(path, "not a GCmpSH0 picture or an NSC archive", kExitInputError);
    }
  }
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  RunJobs(s, jobs, s.options.jobs != 0 ? s.options.jobs : cores);
  if (s.options.quiet || s.Cancelled()) return;
  for (const auto& archive : archives) {
    std::fprintf(s.context.err, "%s: %zu of %zu members were pictures\n", archive->path.c_str(),
                 archive->pictures.load(), archive->members);
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
  Background background;
  if (!ParseColour(s.options.background, &background)) {
    s.Fail("encode",
           "--background takes black, white, or a colour as #RRGGBB, not " + s.options.background,
           kExitUsage);
    return;
  }
  if (!ReadImageFile(path, &image, &error, s.context.interrupted, background)) {
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

namespace {

// The picture scaled down to fit `size` x `size`, each output pixel the mean
// of the source pixels it covers; a picture that fits already is kept.
Image FitInto(const Image& image, int size) {
  const double scale = std::min(1.0, std::min(static_cast<double>(size) / image.width,
                                              static_cast<double>(size) / image.height));
  if (scale >= 1.0) return image;
  Image out;
  out.width = std::max(1, static_cast<int>(image.width * scale + 0.5));
  out.height = std::max(1, static_cast<int>(image.height * scale + 0.5));
  out.rgb.resize(3 * static_cast<std::size_t>(out.width) * out.height);
  for (int y = 0; y < out.height; ++y) {
    const int y0 = static_cast<int>(static_cast<std::int64_t>(y) * image.height / out.height);
    const int y1 = std::max(
        y0 + 1, static_cast<int>(static_cast<std::int64_t>(y + 1) * image.height / out.height));
    for (int x = 0; x < out.width; ++x) {
      const int x0 = static_cast<int>(static_cast<std::int64_t>(x) * image.width / out.width);
      const int x1 = std::max(
          x0 + 1, static_cast<int>(static_cast<std::int64_t>(x + 1) * image.width / out.width));
      std::uint64_t sum[3] = {};
      for (int sy = y0; sy < y1; ++sy) {
        for (int sx = x0; sx < x1; ++sx) {
          for (int c = 0; c < 3; ++c)
            sum[c] += image.rgb[3 * (static_cast<std::size_t>(sy) * image.width + sx) + c];
        }
      }
      const std::uint64_t count = static_cast<std::uint64_t>(y1 - y0) * (x1 - x0);
      for (int c = 0; c < 3; ++c)
        out.rgb[3 * (static_cast<std::size_t>(y) * out.width + x) + c] =
            static_cast<std::uint8_t>((sum[c] + count / 2) / count);
    }
  }
  return out;
}

}  // namespace

void Thumbnail(Session& s) {
  const auto& args = s.options.operands;
  char* end = nullptr;
  const long size = args.size() == 3 ? std::strtol(args[1].c_str(), &end, 10) : 0;
  if (args.size() != 3 || *end != '\0' || size < 1 || size > 4096) {
    s.Fail("thumbnail", "give an archive, a size from 1 to 4096, and the PNG file to write",
           kExitUsage);
    return;
  }
  Source source;
  if (!ReadOperand(s, args[0], &source)) return;
  std::vector<Member> members;
  if (!ListMembers(s, source, &members)) return;
  // The first member that is a picture.
  for (const Member& m : members) {
    if (s.Cancelled()) return;
    MemoryHandle block = nullptr;
    std::string error;
    if (ExtractToMemory(s.archive(), source, m, &block, &error) != Ok) continue;
    const Bytes bytes = TakeResultBlock(block);
    Bytes head(bytes.begin(), bytes.begin() + std::min<std::size_t>(bytes.size(), kHeadSize));
    head.resize(kHeadSize);
    if (s.picture().IsSupported("", Probe(head)) != 1) continue;
    MemoryHandle info = nullptr, bits = nullptr;
    const std::int32_t status = s.picture().GetPicture(
        bytes.data(), static_cast<HostInt>(bytes.size()), kMemoryInput, &info, &bits, nullptr, 0);
    if (status != Ok) continue;
    const Bytes header = TakeResultBlock(info);
    const Bytes pixels = TakeResultBlock(bits);
    std::int32_t width = 0, height = 0;
    std::memcpy(&width, &header[4], 4);
    std::memcpy(&height, &header[8], 4);
    Bytes png;
    if (!EncodePng(FitInto(ImageFromDib(width, height, pixels.data()), static_cast<int>(size)),
                   &png, &error, s.context.interrupted)) {
      s.Fail(args[2], error, kExitOutputError);
      return;
    }
    // Thumbnailers write where they are told, over what is there.
    if (!WriteOutputFile(args[2], png, true, &error)) s.Fail("", error, kExitOutputError);
    return;
  }
  s.Fail(source.name, "no member is a picture that can be decoded", kExitInputError);
}
