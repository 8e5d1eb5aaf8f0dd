// This file contains jamcg's entry point: it chooses the plug-ins (linked in
// natively; in the Windows build vizuz.spi and orbelint.spi, or the .sph
// editions for the 64-bit program, from the program's folder, or from
// --plugins DIR), turns Ctrl-C, a termination request and a closed terminal
// (SIGINT, SIGTERM, SIGHUP; on Windows Ctrl-C, Ctrl-Break and closing the
// console) into a request to stop that every loop and the progress callback
// pass on, so that the command stops promptly and removes what it had begun
// to write; and runs the command. On Windows the
// command line is read as UTF-16 and turned into UTF-8, the tool's own text,
// so that any file name reaches it whole.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

#include "file_names/file_names.h"
#include "file_names/output_files.h"
#include "jamcg/jamcg.h"
#include "support/text_encoding.h"

namespace {

// Set by the signal handlers, read by the commands and the progress callback;
// the handlers' one way to reach the running command.
std::atomic<bool> g_interrupted{false};
// The signal that asked to stop, for the exit code 128 + its number.
std::atomic<int> g_signal{0};

#ifdef _WIN32
// Set when the command has finished and cleaned up: a console that is being
// closed ends the process as soon as the handler returns, so the handler
// waits for it (Windows allows a few seconds).
std::atomic<bool> g_finished{false};

BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  g_signal.store(event == CTRL_C_EVENT ? SIGINT : SIGTERM);
  g_interrupted.store(true);
  if (event == CTRL_CLOSE_EVENT) {
    for (int i = 0; i < 400 && !g_finished.load(); ++i) Sleep(10);
  }
  return TRUE;
}

void CatchStopRequests() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }
#else
extern "C" void OnStopRequest(int signal) {
  g_signal.store(signal);
  g_interrupted.store(true);
}

void CatchStopRequests() {
  // No SA_RESTART: a read that blocks (a pipe, a terminal) returns at once.
  struct sigaction action {};
  action.sa_handler = OnStopRequest;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
  // A closed pipe is seen as a failed write (EPIPE), which ends the command
  // with exit code 3 and no message, rather than a silent death by signal.
  std::signal(SIGPIPE, SIG_IGN);
}
#endif

// Takes "--plugins FOLDER" out of the arguments (it is chosen before the
// plug-ins are loaded, so before the command line is parsed). False when it
// cannot be taken (reported).
bool TakePluginsOption(std::vector<std::string>* args, std::string* folder) {
  const auto at = std::find(args->begin(), args->end(), "--plugins");
  if (at == args->end()) return true;
#ifndef _WIN32
  std::fprintf(stderr, "jamcg: --plugins is for jamcg.exe: this jamcg has the plug-ins built in\n");
  return false;
#endif
  if (at + 1 == args->end()) {
    std::fprintf(stderr, "jamcg: --plugins needs a folder\n");
    return false;
  }
  *folder = *(at + 1);
  args->erase(at, at + 2);
  return true;
}

int RunMain(std::vector<std::string> args) {
  // First of all: a request to stop that comes while the plug-ins load is
  // seen by the command, which then stops before it begins.
  CatchStopRequests();
  std::string folder;
  if (!TakePluginsOption(&args, &folder)) return kExitUsage;
  // Help and the version need no plug-ins: they are printed even where the
  // plug-ins cannot be loaded.
  const bool help = args.empty() || args[0] == "help" ||
                    std::find(args.begin(), args.end(), "--version") != args.end() ||
                    std::find(args.begin(), args.end(), "--help") != args.end() ||
                    std::find(args.begin(), args.end(), "-h") != args.end();
  PluginHost plugins{};
  std::string error;
  if (!LoadPlugins(folder, &plugins, &error) && !help) {
    std::fprintf(stderr, "jamcg: %s\n", error.c_str());
    return kExitInputError;
  }
  UseUtf8Console();
  ToolContext context;
  context.plugins = &plugins;
  context.stderr_is_terminal = isatty(fileno(stderr)) != 0;
  context.interrupted = &g_interrupted;
  // The plug-ins never throw; the tool's own containers and file system calls
  // can, and a failure there is reported, never a crash.
  int code;
  try {
    code = RunJamcg(args, context);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "jamcg: out of memory\n");
    code = kExitNoMemory;
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "jamcg: %s\n", failure.what());
    code = kExitInputError;
  }
  // What was printed must have reached its destination (a full disk, a
  // closed pipe).
  // A reader that has gone (a closed pipe) ends it quietly, with 3.
  if ((std::fflush(stdout) != 0 || std::ferror(stdout)) && code == kExitOk) {
    const int cause = errno;
    if (!ReaderGone(cause))
      std::fprintf(stderr, "jamcg: cannot write the standard output: %s\n", std::strerror(cause));
    code = kExitOutputError;
  }
  // Stopped by a signal: 128 + its number, as shells report it (130 for Ctrl-C).
  if (code == kExitCancelled && g_signal.load() != 0) code = 128 + g_signal.load();
  return code;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    const std::wstring wide = argv[i];
    // Any name Windows holds, lone surrogates included, is carried whole.
    std::string text;
    Utf8FromUtf16(std::u16string(wide.begin(), wide.end()), &text, true);
    args.push_back(text);
  }
  const int code = RunMain(args);
  g_finished.store(true);
  return code;
}
#else
int main(int argc, char** argv) { return RunMain(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
