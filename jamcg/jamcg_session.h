// This file contains what jamcg's commands share: the options of a command
// line, the session that carries them with the plug-ins and the outputs, how
// failures are reported, and the steps every command takes with the
// plug-ins (probing a file's head, listing an archive).
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "file_names/file_names.h"
#include "jamcg/archive_reading.h"
#include "jamcg/jamcg.h"
#include "jamcg/progress_bar.h"
#include "plugin_host/plugin_calls.h"

using Bytes = std::vector<std::uint8_t>;

#ifdef _WIN32
constexpr bool kBackslashSeparates = true;
#else
constexpr bool kBackslashSeparates = false;
#endif

constexpr std::uint32_t kMemoryInput = 0x1;
constexpr std::uint32_t kHeadSize = 2048;

// What a command line asked for, beyond the command.
struct Options {
  std::vector<std::string> operands;
  std::string output;
  bool replace = false;
  bool quiet = false;
  bool json = false;
  bool help = false;
  unsigned jobs = 0;       // workers for convert; 0: one per core
  std::string format;      // convert: "png" or "bmp"; empty: by the extension
  std::string background;  // encode: the colour under transparent pixels
};

// One command's run: its options, the plug-ins, where it reports, and the
// worst exit code so far.
struct Session {
  const ToolContext& context;
  const Options& options;
  int exit_code = kExitOk;
  std::mutex lock;
  SharedProgress* progress = nullptr;  // the progress line of convert's workers, while drawn

  const ArchiveApi& archive() const { return context.plugins->archive; }
  const PictureApi& picture() const { return context.plugins->picture; }

  // Reports a failure about `subject` and keeps the worst exit code.
  // A cancellation is reported once, at the end, and what fails because of
  // it (an interrupted read) is not reported at all.
  // A message that is empty (standard output's reader has gone) is not shown.
  void Fail(const std::string& subject, const std::string& message, int code) {
    std::lock_guard<std::mutex> hold(lock);  // workers report from several threads
    // "cannot read FILE: ..." and "cannot write FILE: ..." name their file already.
    const bool named = message.rfind("cannot read " + subject + ":", 0) == 0 ||
                       message.rfind("cannot write " + subject + ":", 0) == 0;
    const bool shown = code != kExitCancelled && !Cancelled() && !message.empty();
    if (shown && progress != nullptr) ClearSharedProgress(*progress);  // a line of its own
    if (shown)
      std::fprintf(context.err, "jamcg: %s%s%s\n", named ? "" : Printable(subject).c_str(),
                   subject.empty() || named ? "" : ": ", Printable(message).c_str());
    if (exit_code == kExitOk || code == kExitCancelled) exit_code = code;
  }

  // Reports a problem about `subject` that did not stop the work (the exit
  // code is 1 if nothing worse happens), on a line of its own.
  void Warn(const std::string& subject, const std::string& message) {
    std::lock_guard<std::mutex> hold(lock);
    if (Cancelled()) return;
    if (progress != nullptr) ClearSharedProgress(*progress);
    std::fprintf(context.err, "jamcg: warning: %s: %s\n", Printable(subject).c_str(),
                 Printable(message).c_str());
    if (exit_code == kExitOk) exit_code = kExitInputError;
  }

  bool Cancelled() const { return context.interrupted != nullptr && context.interrupted->load(); }

  ProgressBar Bar(const std::string& label) const {
    ProgressBar bar;
    bar.terminal = context.stderr_is_terminal && !options.quiet ? context.err : nullptr;
    bar.interrupted = context.interrupted;
    bar.label = Printable(label);
    if (bar.terminal != nullptr) bar.columns = TerminalColumns(bar.terminal);
    return bar;
  }
};

// What each status code means to a user, for the plug-in that returned it;
// `error` is the reason for kUnspellableName.
std::string StatusText(std::int32_t status, bool picture, const std::string& file,
                       const std::string& error = "");
int ExitCodeOf(std::int32_t status);

// The input an operand names: a file, or for "-" standard input, read whole
// into memory (named "standard input"). False, reported, when standard
// input cannot be read.
bool ReadOperand(Session& s, const std::string& operand, Source* source);

// The first 2048 bytes of an input (zeros after its end), as IsSupported wants them.
bool ReadHead(const Source& source, Bytes* head, std::string* error);

// ReadOperand and ReadHead in one: false, reported, when either fails.
bool OpenOperand(Session& s, const std::string& operand, Source* source, Bytes* head);

std::uintptr_t Probe(const Bytes& head);

// True when the picture plug-in takes `bytes` (a member's) for a picture.
bool HoldsPicture(const PictureApi& api, const Bytes& bytes);

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

// Entry `number` of a plug-in's information table.
std::string InfoText(InfoFunction info, int number);

// The text with A-Z lowered and every other byte (UTF-8 included) kept.
std::string AsciiLower(std::string text);

// True when the file's name matches a plug-in's pattern, "*.nsc" or "*.*".
bool MatchesPattern(const std::string& path, const std::string& pattern);

// Reads the archive once (see archive_reading.h); false (reported) on failure.
bool OpenArchive(Session& s, const Source& source, ArchiveMembers* archive);

// True when the DIB pixels `bits` (`size` bytes), decoded from `file`, owe
// something to bytes past the file's end (which the plug-in reads as zeros):
// decoded again with 4096 bytes of `fill` behind it, the picture comes out
// otherwise. Pixels that the data code cannot change. For jamcg.exe, which
// has only the DLLs and so not the decoder's own verdict.
bool DataEndEarly(const PictureApi& api, const Bytes& file, const std::uint8_t* bits,
                  std::size_t size, std::uint8_t fill);

// The commands, each in the file of its group.
void Info(Session& s);
void List(Session& s);
void Check(Session& s);
void Extract(Session& s);
void Pack(Session& s);
void Convert(Session& s);
void Encode(Session& s);
void Thumbnail(Session& s);
