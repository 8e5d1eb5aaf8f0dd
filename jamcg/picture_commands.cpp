// This file contains jamcg's picture commands: convert, encode and thumbnail.
#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <thread>

#include "file_names/output_files.h"
#include "image_files/image_files.h"
#include "jamcg/archive_reading.h"
#include "jamcg/jamcg_session.h"
#include "jamcg/picture_reading.h"
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

// False, reported, when neither --format nor the extension says the format,
// or they say different ones.
bool FormatKnown(Session& s, const std::string& path) {
  const std::string ext = AsciiLower(NameOf(PathOf(path).extension()));
  const bool named = ext == ".png" || ext == ".bmp";
  if (named && !s.options.format.empty() && ext != "." + s.options.format) {
    s.Fail(path, "the name says " + ext.substr(1) + " but --format says " + s.options.format,
           kExitUsage);
    return false;
  }
  if (named || !s.options.format.empty()) return true;
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
  const std::int32_t status =
      ReadMember(*s.context.plugins, *job.archive, job.which, bytes.get(), &error,
                 DrawSharedProgress, reinterpret_cast<HostInt>(&step));
  step.base = 25;
  if (status != Ok) {
    s.Fail(job.label, StatusText(status, false, job.source.name, error), ExitCodeOf(status));
    return false;
  }
  if (!HoldsPicture(s.picture(), *bytes)) return false;
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

namespace {

// What convert is to do, worked out before anything is written.
struct ConvertPlan {
  struct ArchiveCount {
    std::string path;
    std::size_t members = 0;
    std::atomic<std::size_t> pictures{0};
  };
  std::vector<std::unique_ptr<ArchiveCount>> archives;
  std::vector<ConvertJob> jobs;
  std::vector<fs::path> folders;  // to make; removed again if they stay empty
  // Every output (a picture's file, an archive's folder) by the name the
  // output's file system compares (without case on Windows), with the input
  // that makes it.
  std::map<std::string, std::string> outputs;
};

std::string CompareKey(const fs::path& path) {
  std::error_code code;
  const std::string key = NameOf(fs::absolute(path, code).lexically_normal());
  return kBackslashSeparates ? AsciiLower(key) : key;
}

// Claims `output` for `input`: false, reported, when another input has it.
bool Claim(Session& s, ConvertPlan& plan, const fs::path& output, const std::string& input) {
  const auto [at, fresh] = plan.outputs.emplace(CompareKey(output), input);
  if (fresh) return true;
  s.Fail("convert",
         at->second + " and " + input + " would both be written to " + NameOf(output) +
             "; convert them one at a time, or to other places",
         kExitUsage);
  return false;
}

// Plans an archive's members: into `folder`, each as NAME.png (or .bmp).
bool PlanArchive(Session& s, ConvertPlan& plan, const Source& source, const fs::path& folder) {
  auto archive = std::make_shared<ArchiveMembers>();
  if (!OpenArchive(s, source, archive.get())) return true;
  if (!Claim(s, plan, folder, source.name)) return false;
  plan.folders.push_back(folder);
  plan.archives.push_back(std::make_unique<ConvertPlan::ArchiveCount>());
  plan.archives.back()->path = source.name;
  plan.archives.back()->members = ListedCount(*archive);
  for (std::size_t i = 0; i < ListedCount(*archive); ++i) {
    ConvertJob job;
    job.which = ListedMember(*archive, i);
    job.label = source.name + ": " + job.which.name;
    job.source = source;
    job.archive = archive;
    job.output = NameOf(folder / (job.which.name + DefaultExtension(s)));
    job.pictures = &plan.archives.back()->pictures;
    plan.jobs.push_back(std::move(job));
  }
  return true;
}

// Plans a picture into `output` (whose format is known).
bool PlanPicture(Session& s, ConvertPlan& plan, const Source& source, const std::string& output) {
  if (output != "-" && !Claim(s, plan, PathOf(output), source.name)) return false;
  ConvertJob job;
  job.label = source.name;
  job.source = source;
  job.output = output;
  plan.jobs.push_back(std::move(job));
  return true;
}

// Where each input goes. OUT is a file for one picture (or, when it is a
// folder, the folder it goes into), the folder of one archive's pictures
// (OUT/NAME.png), or the folder of several inputs (OUT/STEM.png for a
// picture, OUT/ARCHIVE/NAME.png for an archive). Without OUT each goes
// beside its input. False when the command cannot be carried out as given
// (reported as a usage error).
bool PlanConvert(Session& s, ConvertPlan& plan) {
  const auto& inputs = s.options.operands;
  const std::string& out = s.options.output;
  std::error_code code;
  const bool several = inputs.size() > 1;
  const bool out_is_folder = !out.empty() && out != "-" &&
                             (several || fs::is_directory(PathOf(out), code) || out.back() == '/' ||
                              (kBackslashSeparates && out.back() == '\\'));
  if (out == "-" && several) {
    s.Fail("convert", "standard output takes one picture; give -o a folder for several",
           kExitUsage);
    return false;
  }
  for (const std::string& operand : inputs) {
    if (s.Cancelled()) return true;
    Source source;
    Bytes head;
    if (!OpenOperand(s, operand, &source, &head)) continue;
    // Standard input has no name to give its outputs: "stdin".
    const fs::path stem =
        source.memory ? fs::path("stdin") : PathOf(source.name).replace_extension();
    const fs::path beside = out_is_folder ? PathOf(out) / stem.filename() : stem;
    bool planned = true;
    if (Takes(s.archive(), source.name, head)) {
      if (out == "-") {
        s.Fail(source.name, "an archive's pictures go into a folder, not to standard output",
               kExitUsage);
        return false;
      }
      const std::string ext = AsciiLower(NameOf(PathOf(out).extension()));
      if (!out.empty() && !out_is_folder && (ext == ".png" || ext == ".bmp")) {
        s.Fail(out, "an archive's pictures go into a folder, and this names a file", kExitUsage);
        return false;
      }
      planned = PlanArchive(s, plan, source, out.empty() || several ? beside : PathOf(out));
    } else if (Takes(s.picture(), source.name, head)) {
      const bool to_file = !out.empty() && !out_is_folder;
      if (to_file && out != "-" && !source.memory && SameFile(out, source.name)) {
        s.Fail(out, "is the picture being converted; choose another output", kExitUsage);
        return false;
      }
      if (to_file && out != "-" && !FormatKnown(s, out)) return false;
      if (out_is_folder) plan.folders.push_back(PathOf(out));
      planned = PlanPicture(s, plan, source, to_file ? out : NameOf(beside) + DefaultExtension(s));
    } else {
      s.Fail(source.name, "not a GCmpSH0 picture or an NSC archive", kExitInputError);
    }
    if (!planned) return false;
  }
  return true;
}

}  // namespace

void Convert(Session& s) {
  if (s.options.operands.empty()) {
    s.Fail("convert", "give at least one input", kExitUsage);
    return;
  }
  ConvertPlan plan;
  if (!PlanConvert(s, plan)) return;
  std::error_code code;
  std::vector<fs::path> made;
  bool folders_ready = true;
  for (const fs::path& folder : plan.folders) {
    if (fs::is_directory(folder, code)) continue;
    if (fs::create_directories(folder, code)) made.push_back(folder);
    // A folder that cannot be made stops the command before any picture is
    // decoded: every picture would fail for the same reason.
    if (code) {
      s.Fail(NameOf(folder), "cannot create the folder: " + code.message(), kExitOutputError);
      folders_ready = false;
      break;
    }
  }
  if (folders_ready) {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    RunJobs(s, plan.jobs, s.options.jobs != 0 ? s.options.jobs : cores);
  }
  // A folder made for pictures that did not come is not left behind.
  for (const fs::path& folder : made) {
    if (fs::is_empty(folder, code)) fs::remove(folder, code);
  }
  if (s.options.quiet || s.Cancelled() || !folders_ready) return;
  for (const auto& archive : plan.archives) {
    std::fprintf(s.context.err, "%s: %zu of %zu members were pictures\n",
                 Printable(archive->path).c_str(), archive->pictures.load(), archive->members);
  }
}

// Where encode writes the picture read from `path`: a folder takes it as
// NAME.gcmp; a name of another picture format would hide what the file holds.
// False when the output cannot be used (reported).
bool EncodeOutput(Session& s, const std::string& path, std::string* output) {
  *output = s.options.output;
  std::error_code code;
  if (*output != "-" && fs::is_directory(PathOf(*output), code)) {
    const fs::path stem = path == "-" ? fs::path("stdin") : PathOf(path).stem();
    *output = NameOf(PathOf(*output) / stem) + ".gcmp";
  }
  const std::string ext = AsciiLower(NameOf(PathOf(*output).extension()));
  for (const char* image_ext : {".png", ".bmp", ".ppm", ".pgm", ".pnm"}) {
    if (ext == image_ext)
      return s.Fail(*output, "encode writes GCmpSH0 pictures: name the output .gcmp", kExitUsage),
             false;
  }
  if (*output != "-" && path != "-" && SameFile(*output, path))
    return s.Fail(*output, "is the picture being encoded; choose another output", kExitUsage),
           false;
  return true;
}

void Encode(Session& s) {
  if (s.options.operands.size() != 1 || s.options.output.empty()) {
    s.Fail("encode", "give one picture and -o PICTURE", kExitUsage);
    return;
  }
  const std::string& path = s.options.operands[0];
  std::string output;
  if (!EncodeOutput(s, path, &output)) return;
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
  ProgressBar bar = s.Bar(path);
  const EncodeProgress draw = [](void* context, std::uint64_t done, std::uint64_t total) {
    return static_cast<int>(DrawProgress(static_cast<std::int32_t>(done * 1000 / total), 1000,
                                         reinterpret_cast<HostInt>(context)));
  };
  const bool encoded =
      EncodeGcmpPicture(stream.data(), image.width, image.height, &picture, draw, &bar);
  ClearProgress(bar);
  if (s.Cancelled()) {
    s.Fail(path, "cancelled", kExitCancelled);
    return;
  }
  if (!encoded) {
    s.Fail(path,
           "GCmpSH0 pictures are 1 to 32767 pixels wide and 9 to 32767 high; this one is " +
               std::to_string(image.width) + "x" + std::to_string(image.height),
           kExitInputError);
    return;
  }
  if (!WriteOutputFile(output, picture, s.options.replace, &error))
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
    if (!HoldsPicture(s.picture(), *bytes)) continue;
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
