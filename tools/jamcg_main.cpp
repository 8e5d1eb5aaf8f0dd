// This file contains jamcg's entry point: it chooses the plug-ins (linked in
// natively; in the Windows build vizuz.spi and orbelint.spi from the
// program's folder, or from --plugins DIR), turns Ctrl-C into a request to
// stop that the progress callback passes on to the plug-in, and runs the
// command.
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

#include "tools/jamcg.h"

namespace {

// Set by the Ctrl-C handler, read by the progress callback.
std::atomic<bool> g_interrupted{false};

extern "C" void OnInterrupt(int) { g_interrupted.store(true); }

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
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
