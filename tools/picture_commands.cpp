// This file contains jamcg's picture commands: convert, encode and thumbnail.
#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "tools/archive_reading.h"
#include "tools/image_files.h"
#include "tools/jamcg_session.h"
#include "tools/picture_reading.h"
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

// Writes the picture's rows to `output`, straight from where they lie, as BMP
// or PNG; false, reported, on failure.
bool WritePictureFile(Session& s, const PixelRows& rows, const std::string& output, bool bmp,
                      bool replace, StepProgress* step) {
  OutputFile out;
  std::string problem;
  const ByteSink sink{[](void* context, const void* data, std::size_t size, std::string* error) {
                        return WriteOutput(*static_cast<OutputFile*>(context), data, size, error);
                      },
                      &out};
  bool ok = OpenOutput(output, replace, &out, &problem);
  if (ok) {
    ok = bmp ? WriteBmp(rows, sink, &problem)
                             : WritePng(rows, sink, &problem, s.context.interrupted,
                                        step != nullptr ? DrawSharedProgress : nullptr,
                                        reinterpret_cast<HostInt>(step));
  }
  ok = ok && PlaceOutput(out, replace, &problem);
  if (!ok) {
    const int code = problem == "out of memory" ? kExitNoMemory
                     : problem == "cancelled"   ? kExitCancelled
                                                : kExitOutputError;
    s.Fail(output, problem, code);
  }
  return ok;
}

// The memory of the pictures converted at once. Each picture holds its DIB
// (and its compressed bytes) while it is converted; a picture waits until
// the pictures being converted leave room for it, but one runs alone
// whatever its size. The room is 64 MB a worker, or 1.3 times the largest
// picture seen, whichever is more: small pictures run side by side, a large
// one beside only what fits in its 30%, so the peak stays near 1.3 times the
// largest picture plus 64 MB a worker. Pictures take their turns in order.
struct MemoryGate {
  std::mutex lock;
  std::condition_variable changed;
  std::uint64_t room = 0;  // 64 MB a worker, or more once a large picture comes
  std::uint64_t in_use = 0;
  std::uint64_t next_ticket = 0, serving = 0;
};

class MemoryHold {
 public:
  MemoryHold(MemoryGate& gate, std::uint64_t bytes) : gate_(gate), bytes_(bytes) {
    std::unique_lock<std::mutex> hold(gate.lock);
    const std::uint64_t ticket = gate.next_ticket++;
    gate.room = std::max(gate.room, bytes + bytes / 10 * 3);
    gate.changed.wait(hold, [&] {
      return gate.serving == ticket && (gate.in_use == 0 || gate.in_use + bytes <= gate.room);
    });
    ++gate.serving;
    gate.in_use += bytes;
    gate.changed.notify_all();
  }
  ~MemoryHold() {
    std::lock_guard<std::mutex> hold(gate_.lock);
    gate_.in_use -= bytes_;
    gate_.changed.notify_all();
  }
  MemoryHold(const MemoryHold&) = delete;
  MemoryHold& operator=(const MemoryHold&) = delete;

 private:
  MemoryGate& gate_;
  std::uint64_t bytes_;
};

// One picture to convert: a picture file, or a member of an archive that
// may be one.
struct ConvertJob {
  std::string label;  // how it is named in messages and on the progress line
  Source source;      // the picture, or the archive
  std::shared_ptr<const ArchiveMembers> archive;  // for a member: its archive
  Member which;                                   // the member
  std::string output;
  std::atomic<std::size_t>* pictures = nullptr;  // the archive's count of members that were
};

// The picture a job converts: a picture file as it is, or the bytes of an
// archive's member when they are a picture. False when there is nothing to
// convert (reported, or a member that is not a picture).
bool JobPicture(Session& s, const ConvertJob& job, StepProgress& step, Source* picture) {
  if (!job.archive) return *picture = job.source, true;
  if (PastTheEnd(*job.archive, job.which)) {
    s.Fail(job.label, "broken archive: the member " + PastTheEndText(*job.archive, job.which),
           kExitInputError);
    return false;
  }
  // A member of fewer than 16 bytes cannot hold a picture's header.
  if (job.which.size < kPictureHeaderSize) return false;
  auto bytes = std::make_shared<Bytes>();
  std::string error;
  step.span = 25;  // extracting, decoding and encoding each fill a part of the line
  const std::int32_t status = ReadMember(*s.context.plugins, *job.archive, job.which, bytes.get(),
                                         &error, DrawSharedProgress, reinterpret_cast<HostInt>(&step));
  step.base = 25;
  if (status != Ok) {
    s.Fail(job.label, StatusText(status, false, job.source.name, error), ExitCodeOf(status));
    return false;
  }
  Bytes head(bytes->begin(), bytes->begin() + std::min<std::size_t>(bytes->size(), kHeadSize));
  head.resize(kHeadSize);
  if (s.picture().IsSupported("", Probe(head)) != 1) return false;
  ++*job.pictures;
  *picture = Source{job.label, std::move(bytes)};
  return true;
}

// Converts one job, reporting its failures; a member that is no picture is
// skipped. A picture whose data end before every pixel is coded is written
// (black where the data are missing) with a warning.
void ConvertOne(Session& s, const ConvertJob& job, StepProgress& step, MemoryGate& gate) {
  Source picture;
  if (!JobPicture(s, job, step, &picture)) return;
  // The memory it will hold: its DIB, and its compressed bytes.
  Bytes head;
  std::string error;
  std::int32_t width = 0, height = 0;
  if (!ReadHead(picture, &head, &error) || !PictureSize(head.data(), head.size(), &width, &height))
    width = height = 0;  // the decoder reports what is wrong
  const std::uint64_t held =
      DibBytes(width, height) + (picture.memory ? picture.memory->size() : 0);
  MemoryHold hold(gate, held);
  step.span = job.archive ? 50 : 75;
  DecodedPicture decoded;
  const std::int32_t status = DecodeFullSize(*s.context.plugins, picture, &decoded, &error,
                                             DrawSharedProgress, reinterpret_cast<HostInt>(&step));
  if (status != Ok) {
    s.Fail(job.label, StatusText(status, true, job.label, error), ExitCodeOf(status));
    return;
  }
  if (decoded.truncated)
    s.Warn(job.label, "the pixel data end before every pixel is coded; the rest is black");
  step.base = 75;  // encoding: the last quarter
  step.span = 25;
  WritePictureFile(s, decoded.Rows(), job.output, WantsBmp(s, job.output), s.options.replace,
                   &step);
}

// Runs one job; what it throws (memory, the file system) ends that job
// alone, reported; its output, unfinished, is removed as it unwinds.
void RunJob(Session& s, const ConvertJob& job, SharedProgress& progress, MemoryGate& gate) {
  StepProgress step{&progress, job.label};
  try {
    ConvertOne(s, job, step, gate);
  } catch (const std::bad_alloc&) {
    s.Fail(job.label, "out of memory", kExitNoMemory);
  } catch (const std::exception& failure) {
    s.Fail(job.label, failure.what(), kExitOutputError);
  }
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
  s.progress = &progress;
  workers = std::max(1u, std::min<unsigned>(workers, static_cast<unsigned>(jobs.size())));
  MemoryGate gate;
  gate.room = (std::uint64_t{64} << 20) * workers;
  std::atomic<std::size_t> next{0};
  auto work = [&] {
    for (std::size_t i; !s.Cancelled() && (i = next++) < jobs.size();)
      RunJob(s, jobs[i], progress, gate);
  };
  std::vector<std::thread> threads;
  for (unsigned w = 1; w < workers; ++w) threads.emplace_back(work);
  work();
  for (std::thread& thread : threads) thread.join();
  s.progress = nullptr;
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
      if (out == "-") {
        s.Fail(path, "an archive's pictures go into a folder, not to standard output", kExitUsage);
        continue;
      }
      auto archive = std::make_shared<ArchiveMembers>();
      if (!OpenArchive(s, source, archive.get())) continue;
      const fs::path folder = out.empty() || to_folder ? base : PathOf(out);
      fs::create_directories(folder, code);
      archives.push_back(std::make_unique<ArchiveCount>());
      archives.back()->path = path;
      archives.back()->members = ListedCount(*archive);
      for (std::size_t i = 0; i < ListedCount(*archive); ++i) {
        ConvertJob job;
        job.which = ListedMember(*archive, i);
        job.label = path + ": " + job.which.name;
        job.source = source;
        job.archive = archive;
        job.output = NameOf(folder / (job.which.name + DefaultExtension(s)));
        job.pictures = &archives.back()->pictures;
        jobs.push_back(std::move(job));
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
  ArchiveMembers archive;
  if (!ReadOperand(s, args[0], &source) || !OpenArchive(s, source, &archive)) return;
  // The first member that is a picture, within a budget of decoded pixels:
  // an archive of broken pictures that claim to be huge ends quickly.
  std::uint64_t budget = kDecodeBudget;
  for (std::size_t i = 0; i < ListedCount(archive); ++i) {
    if (s.Cancelled()) return;
    const Member m = ListedMember(archive, i);
    auto bytes = std::make_shared<Bytes>();
    std::string error;
    if (m.size < kPictureHeaderSize || PastTheEnd(archive, m) ||
        ReadMember(*s.context.plugins, archive, m, bytes.get(), &error) != Ok)
      continue;
    Bytes head(bytes->begin(), bytes->begin() + std::min<std::size_t>(bytes->size(), kHeadSize));
    head.resize(kHeadSize);
    if (s.picture().IsSupported("", Probe(head)) != 1) continue;
    Image thumbnail;
    bool truncated = false;
    const std::int32_t status =
        DecodeToFit(*s.context.plugins, Source{m.name, bytes}, static_cast<std::int32_t>(size),
                    &thumbnail, &truncated, &budget, s.context.interrupted, &error);
    if (status == kOverBudget) {
      s.Fail(source.name,
             "no picture was found within the first " + std::to_string(kDecodeBudget >> 20) +
                 " million pixels decoded (the pictures tried are broken or very large)",
             kExitInputError);
      return;
    }
    if (status != Ok) continue;
    // Thumbnailers write where they are told, over what is there.
    WritePictureFile(s, RowsOf(thumbnail), args[2], false, true, nullptr);
    return;
  }
  s.Fail(source.name, "no member is a picture that can be decoded", kExitInputError);
}
