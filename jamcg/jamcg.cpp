// This file contains jamcg's command line: the table of commands with their
// help and the options each takes, read with CLI11, and the run of one
// command. The commands themselves live in the files of their groups.
#include "jamcg/jamcg.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>

#include "jamcg/jamcg_session.h"

namespace {

// jamcg.exe loads its plug-ins, from its own folder or --plugins DIR; the
// Linux jamcg has them built in.
#ifdef _WIN32
#define PLUGINS_OPTION "[--plugins DIR] "
#else
#define PLUGINS_OPTION ""
#endif

const char* const kUsage =
    "usage: jamcg " PLUGINS_OPTION
    "COMMAND [OPTIONS] ARGS...\n"
    "\n"
    "Lists, extracts and converts NSC archives and GCmpSH0 pictures through the\n"
    "vizuz and orbelint plug-ins, and packs and encodes new ones.\n"
    "\n"
    "commands:\n"
    "  info FILE...                  which plug-in takes each file, and what it holds\n"
    "  list [--json] ARCHIVE         the members of an archive\n"
    "  check FILE...                 problems of archives and pictures that hosts do not see\n"
    "  extract ARCHIVE [NAME...] [-o DIR]\n"
    "                                members (all, or the named ones) into DIR\n"
    "  convert INPUT... [-o OUT]     pictures, or every picture in archives, to PNG or BMP\n"
    "  pack FILE... -o ARCHIVE.nsc   files into a new NSC archive\n"
    "  encode IMAGE -o PICTURE       a PNG, BMP or PNM file into a GCmpSH0 picture\n"
    "  thumbnail ARCHIVE SIZE OUT    the archive's first picture, scaled, as PNG\n"
    "  help [COMMAND]                this text, or a command's\n"
    "\n"
    "options: -o PATH, --output=PATH (output), -f (replace existing outputs),\n"
    "         -q (no progress bar), -h, --help (with a command: that command's help),\n"
    "         --version; short flags combine (-qf); -- ends the options\n"
    "\n"
    "exit codes: 0 done; 1 an input could not be read or is not what it should be;\n"
    "            2 usage error; 3 an output exists (without -f) or cannot be written;\n"
    "            4 out of memory; 128 + N stopped by signal N (130 Ctrl-C, 143 SIGTERM)\n";

// The options a command takes, beyond -h.
enum OptionSet : unsigned {
  kOutputOption = 1,       // -o, --output
  kReplaceOption = 2,      // -f, --force
  kQuietOption = 4,        // -q, --quiet
  kJsonOption = 8,         // --json
  kJobsOption = 16,        // -j, --jobs
  kFormatOption = 32,      // --format
  kBackgroundOption = 64,  // --background
};

struct Command {
  const char* name;
  void (*run)(Session&);
  unsigned options;
  const char* help;
};

const Command kCommands[] = {
    {"info", Info, 0,
     "usage: jamcg info FILE...\n"
     "For each file: which plug-in takes it (its kind code and file-name pattern, and\n"
     "what IsSupported says of the file's first 2048 bytes), and what it holds: a\n"
     "picture's size and depth, or an archive's member count and total size.\n"},
    {"list", List, kJsonOption,
     "usage: jamcg list [--json] ARCHIVE\n"
     "The members that GetArchiveInfo reports: name, position in the archive, size.\n"
     "--json prints one JSON object per line instead of a table.\n"},
    {"check", Check, 0,
     "usage: jamcg check FILE...\n"
     "Verifies archives (a valid table, every member within the file, none too small\n"
     "to be listed) and pictures (valid pixel data that code every pixel before they\n"
     "end), and names each problem. Exit code 1 if there is any.\n"},
    {"extract", Extract, kOutputOption | kReplaceOption | kQuietOption,
     "usage: jamcg extract [-f] [-q] ARCHIVE [NAME...] [-o DIR]\n"
     "Extracts every listed member, or the members NAME... (numbers, as 7 or 007),\n"
     "into DIR (default: the current folder), each as a file named for its number;\n"
     "with -o -, the one member NAME to standard output. A member that runs past the\n"
     "end of the archive is reported and not extracted.\n"},
    {"convert", Convert,
     kOutputOption | kReplaceOption | kQuietOption | kJobsOption | kFormatOption,
     "usage: jamcg convert [-f] [-q] [-j N] [--format png|bmp] INPUT... [-o OUT]\n"
     "Decodes GCmpSH0 pictures into PNG or BMP files, upright. For one picture, OUT is\n"
     "the output file (--format, or else its extension, .png or .bmp, chooses the\n"
     "format; - is standard output), or a folder to put it in. For one NSC archive,\n"
     "OUT is the folder of its pictures, each member that is one as OUT/NAME.png\n"
     "(default OUT: the archive's name without its extension). For several inputs,\n"
     "OUT is a folder: OUT/NAME.png for a picture, OUT/ARCHIVE/NAME.png for an\n"
     "archive (default: beside each input). Inputs whose outputs would collide are\n"
     "refused before anything is written. A picture whose data end early is written\n"
     "(black where they are missing) with a warning, and the exit code is 1. N\n"
     "workers convert at once (default: one per core); the files do not depend on N.\n"},
    {"pack", Pack, kOutputOption | kReplaceOption | kQuietOption,
     "usage: jamcg pack [-f] [-q] FILE... -o ARCHIVE.nsc\n"
     "Packs the files, in the order given, into a new NSC archive. Each file must\n"
     "have 2 bytes or more (hosts list no smaller member), and every file must start\n"
     "within the archive's first 2 GiB (32-bit hosts read no further).\n"},
    {"encode", Encode, kOutputOption | kReplaceOption | kQuietOption | kBackgroundOption,
     "usage: jamcg encode [-f] [-q] [--background COLOR] IMAGE -o PICTURE\n"
     "Encodes a PNG (any kind), BMP (1 to 32 bits) or PNM (P2, P3, P5, P6) picture, 1 to\n"
     "32767 pixels wide and 9 to 32767 high, as a GCmpSH0 picture. GCmpSH0 has no\n"
     "transparency: transparent pixels are laid onto COLOR (black, white or #RRGGBB;\n"
     "default black).\n"},
    {"thumbnail", Thumbnail, 0,
     "usage: jamcg thumbnail ARCHIVE SIZE OUT.png\n"
     "Writes the archive's first picture, scaled down to fit SIZE x SIZE pixels, as a\n"
     "PNG file (replacing OUT.png): a thumbnailer for file managers.\n"},
};

const Command* FindCommand(const std::string& name) {
  for (const Command& c : kCommands) {
    if (name == c.name) return &c;
  }
  return nullptr;
}

// The option parser's complaint in jamcg's own words: what was wrong, and
// with which word of the command line.
std::string UsageProblem(const CLI::ParseError& failure) {
  std::string text = failure.what();
  const auto after = [&](const std::string& prefix) {
    const std::size_t at = text.find(prefix);
    return at == std::string::npos ? std::string() : text.substr(at + prefix.size());
  };
  const std::string option = text.substr(0, text.find(':'));
  if (!after("At Most 1 required").empty()) return option + " is given more than once";
  if (const std::string extra = after("not expected: "); !extra.empty())
    return extra + ": this command takes no such option or argument";
  if (const std::string value = after("Value "); !value.empty()) {
    const std::string range = after("not in range ");
    return option + " takes a number from " + range.substr(0, range.find(' ')) + " to " +
           range.substr(range.rfind(' ') + 1) + ", not " + value.substr(0, value.find(' '));
  }
  if (text.find(" required ") != std::string::npos && text.find("missing") != std::string::npos)
    return option + " needs a value";
  if (const std::string choice = after(" not in {"); !choice.empty())
    return option + " takes " + choice.substr(0, choice.find('}')) + ", not " +
           after(": ").substr(0, after(": ").find(' '));
  if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') text[0] = static_cast<char>(text[0] + 32);
  return text;
}

// Each command with the options it takes; every option, flags included, may
// be given once.
void AddCommands(CLI::App& app, Options* options) {
  const auto once = CLI::MultiOptionPolicy::Throw;
  for (const Command& c : kCommands) {
    CLI::App* sub = app.add_subcommand(c.name);
    sub->set_help_flag();
    sub->add_flag("-h,--help", options->help);
    if (c.options & kOutputOption) sub->add_option("-o,--output", options->output);
    if (c.options & kReplaceOption)
      sub->add_flag("-f,--force", options->replace)->multi_option_policy(once);
    if (c.options & kQuietOption)
      sub->add_flag("-q,--quiet", options->quiet)->multi_option_policy(once);
    if (c.options & kJsonOption) sub->add_flag("--json", options->json)->multi_option_policy(once);
    if (c.options & kFormatOption)
      sub->add_option("--format", options->format)->check(CLI::IsMember({"png", "bmp"}));
    if (c.options & kBackgroundOption) sub->add_option("--background", options->background);
    if (c.options & kJobsOption)
      sub->add_option("-j,--jobs", options->jobs)->check(CLI::Range(1u, 1024u));
    sub->add_option("operands", options->operands);
  }
}

const Command* ChosenCommand(const CLI::App& app) {
  for (const Command& c : kCommands) {
    if (app.got_subcommand(c.name)) return &c;
  }
  return nullptr;
}

int PrintVersion(const ToolContext& context) {
  std::fprintf(context.out, "jamcg %s\n", JAMCG_VERSION);
  if (context.plugins != nullptr && context.plugins->archive.GetPluginInfo != nullptr) {
    std::fprintf(context.out, "%s: %s\n%s: %s\n", kArchivePluginFile,
                 InfoText(context.plugins->archive.GetPluginInfo, 1).c_str(), kPicturePluginFile,
                 InfoText(context.plugins->picture.GetPluginInfo, 1).c_str());
  }
  return kExitOk;
}

// "jamcg help [COMMAND]".
int PrintHelp(const std::string& topic, const ToolContext& context) {
  const Command* about = topic.empty() ? nullptr : FindCommand(topic);
  if (!topic.empty() && about == nullptr) {
    std::fprintf(context.err, "jamcg: unknown command %s\n\n%s", topic.c_str(), kUsage);
    return kExitUsage;
  }
  std::fputs(about != nullptr ? about->help : kUsage, context.out);
  return kExitOk;
}

int RunCommand(const Command& command, const Options& options, const ToolContext& context) {
  Session session{context, options, kExitOk, {}};
  command.run(session);
  if (session.exit_code == kExitUsage) std::fputs(command.help, context.err);
  if (session.Cancelled() || session.exit_code == kExitCancelled) {
    std::fputs("jamcg: cancelled; no partial output was left\n", context.err);
    return kExitCancelled;
  }
  return session.exit_code;
}

}  // namespace

int RunJamcg(const std::vector<std::string>& args, const ToolContext& context) {
  // The command is the first word that is not an option: a word that names
  // no command is reported as such, not as an unexpected argument.
  const auto first = std::find_if(args.begin(), args.end(),
                                  [](const std::string& a) { return a.empty() || a[0] != '-'; });
  if (first != args.end() && *first != "help" && FindCommand(*first) == nullptr) {
    std::fprintf(context.err, "jamcg: unknown command %s\n\n%s", first->c_str(), kUsage);
    return kExitUsage;
  }

  CLI::App app{"jamcg"};
  app.set_help_flag();
  bool help = false, version = false;
  std::string plugins_folder;  // chosen before the plug-ins were loaded
  app.add_flag("-h,--help", help);
  app.add_flag("--version", version);
  app.add_option("--plugins", plugins_folder);
  app.require_subcommand(0, 1);
  std::string topic;
  CLI::App* help_command = app.add_subcommand("help");
  help_command->add_option("command", topic);
  Options options;
  AddCommands(app, &options);
  try {
    std::vector<std::string> reversed(args.rbegin(), args.rend());  // as CLI11 takes them
    app.parse(reversed);
  } catch (const CLI::ParseError& failure) {
    const Command* command = ChosenCommand(app);
    std::fprintf(context.err, "jamcg: %s\n%s", UsageProblem(failure).c_str(),
                 command != nullptr ? command->help : kUsage);
    return kExitUsage;
  }
  if (version) return PrintVersion(context);
  if (app.got_subcommand(help_command)) return PrintHelp(topic, context);
  const Command* command = ChosenCommand(app);
  if (command == nullptr) {
    std::fputs(kUsage, help ? context.out : context.err);
    return help ? kExitOk : kExitUsage;
  }
  if (options.help || help) {
    std::fputs(command->help, context.out);
    return kExitOk;
  }
  return RunCommand(*command, options, context);
}
