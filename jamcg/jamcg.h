// This file contains jamcg, the command-line host of the two plug-ins: it
// lists, extracts and converts NSC archives and GCmpSH0 pictures, and packs
// and encodes new ones, driving the plug-ins only through their exports.
#pragma once

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "plugin_host/plugin_host.h"

// Exit codes, documented in --help.
enum ExitCode : int {
  kExitOk = 0,
  kExitInputError = 1,   // an input could not be read, or is not what it should be
  kExitUsage = 2,        // the command line is wrong
  kExitOutputError = 3,  // an output exists (without -f) or cannot be written
  kExitNoMemory = 4,
  kExitCancelled = 130,  // Ctrl-C
};

struct ToolContext {
  const PluginHost* plugins = nullptr;
  std::FILE* out = stdout;
  std::FILE* err = stderr;
  bool stderr_is_terminal = false;
  const std::atomic<bool>* interrupted = nullptr;  // set by the Ctrl-C handler
};

// Runs one command line (without the program name, and without --plugins,
// which chooses the plug-ins before this is called). Returns the exit code.
int RunJamcg(const std::vector<std::string>& args, const ToolContext& context);
