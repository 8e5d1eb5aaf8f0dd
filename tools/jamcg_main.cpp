// This file contains jamcg's entry point: it chooses the plug-ins (linked in
// natively; in the Windows build vizuz.spi and orbelint.spi, or the .sph
// editions for the 64-bit program, from the program's folder, or from
// --plugins DIR), turns Ctrl-C into a request to stop that the progress
// callback passes on to the plug-in, and runs the command. On Windows the
// command line is read as UTF-16 and turned into UTF-8, the tool's own text,
// so that any file name reaches it whole.
#include <csignal>
#include <cstdio>
#include <exception>
#include <new>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

#include "support/text_encoding.h"
#include "tools/file_names.h"
#include "tools/jamcg.h"

namespace {

// Set by the Ctrl-C handler, read by the progress callback.
std::atomic<bool> g_interrupted{false};

extern "C" void OnInterrupt(int) { g_interrupted.store(true); }

int RunMain(std::vector<std::string> args) {
  std::string folder;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] != "--plugins") continue;
    if (i + 1 == args.size()) {
      std::fprintf(stderr, "jamcg: --plugins needs a folder\n");
      return kExitUsage;
    }
    folder = args[i + 1];
    args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
               args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
    break;
  }
  PluginHost plugins{};
  std::string error;
  if (!LoadPlugins(folder, &plugins, &error)) {
    std::fprintf(stderr, "jamcg: %s\n", error.c_str());
    return kExitInputError;
  }
  std::signal(SIGINT, OnInterrupt);
  UseUtf8Console();
  ToolContext context;
  context.plugins = &plugins;
  context.stderr_is_terminal = isatty(fileno(stderr)) != 0;
  context.interrupted = &g_interrupted;
  // The plug-ins never throw; the tool's own containers and file system calls
  // can, and a failure there is reported, never a crash.
  try {
    return RunJamcg(args, context);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "jamcg: out of memory\n");
    return kExitNoMemory;
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "jamcg: %s\n", failure.what());
    return kExitInputError;
  }
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    const std::wstring wide = argv[i];
    std::string text;
    if (!Utf8FromUtf16(std::u16string(wide.begin(), wide.end()), &text)) {
      std::fprintf(stderr, "jamcg: argument %d is not valid UTF-16 text\n", i);
      return kExitUsage;
    }
    args.push_back(text);
  }
  return RunMain(args);
}
#else
int main(int argc, char** argv) { return RunMain(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
