// This file contains the command-line tool's progress bar.
#include "jamcg/progress_bar.h"

#include <algorithm>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

std::string ProgressLine(const std::string& label, int percent, int columns) {
  constexpr std::size_t kFixed = 8;  // " [", "] " and "100%"
  const std::size_t room = static_cast<std::size_t>(columns > 24 ? columns - 1 : 23);
  std::size_t bar = 30;
  if (label.size() + kFixed + bar > room)
    bar = std::max<std::size_t>(10, room - std::min(room, label.size() + kFixed));
  std::string shown = label;
  if (shown.size() + kFixed + bar > room) {
    // Keep the end of the label, cut at the start of a UTF-8 character.
    std::size_t from = label.size() - (room - kFixed - bar - 3);
    while (from < label.size() && (static_cast<unsigned char>(label[from]) & 0xC0) == 0x80) ++from;
    shown = "..." + label.substr(from);
  }
  const std::size_t filled = static_cast<std::size_t>(percent) * bar / 100;
  std::string line =
      shown + " [" + std::string(filled, '#') + std::string(bar - filled, ' ') + "] ";
  const std::string number = std::to_string(percent);
  return line + std::string(3 - number.size(), ' ') + number + "%";
}

int TerminalColumns(std::FILE* stream) {
#ifdef _WIN32
  CONSOLE_SCREEN_BUFFER_INFO info;
  HANDLE console = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  if (GetConsoleScreenBufferInfo(console, &info))
    return info.srWindow.Right - info.srWindow.Left + 1;
#else
  winsize size{};
  if (ioctl(fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
#endif
  return 80;
}

std::int32_t SPI_CALL DrawProgress(std::int32_t num, std::int32_t denom, HostInt user_data) {
  auto* bar = reinterpret_cast<ProgressBar*>(user_data);
  if (bar->interrupted != nullptr && bar->interrupted->load()) return 1;
  if (bar->terminal == nullptr || denom <= 0) return 0;
  // GetFile ends with a call of (0, 32); the bar never moves backwards.
  const int percent = static_cast<int>(std::int64_t{num} * 100 / denom);
  if (percent > bar->drawn && percent <= 100) {
    bar->drawn = percent;
    std::fprintf(bar->terminal, "\r%s", ProgressLine(bar->label, percent, bar->columns).c_str());
    std::fflush(bar->terminal);
  }
  return 0;
}

void ClearProgress(ProgressBar& bar) {
  if (bar.terminal == nullptr || bar.drawn < 0) return;
  std::fprintf(bar.terminal, "\r%*s\r",
               static_cast<int>(ProgressLine(bar.label, 0, bar.columns).size()), "");
  std::fflush(bar.terminal);
  bar.drawn = -1;
}

namespace {

void DrawShared(SharedProgress& shared, const std::string& label, int percent) {
  // Built by appending: GCC 12 misjudges chains of `+` at -O3 (-Wrestrict).
  std::string counted = "[";
  counted += std::to_string(shared.done.load());
  counted += '/';
  counted += std::to_string(shared.total);
  counted += "] ";
  counted += label;
  const std::string line = ProgressLine(counted, percent, shared.columns);
  std::fprintf(shared.terminal, "\r%s%*s", line.c_str(),
               static_cast<int>(shared.width > line.size() ? shared.width - line.size() : 0), "");
  std::fflush(shared.terminal);
  shared.width = line.size();
}

}  // namespace

std::int32_t SPI_CALL DrawSharedProgress(std::int32_t num, std::int32_t denom, HostInt user_data) {
  auto* step = reinterpret_cast<StepProgress*>(user_data);
  SharedProgress& shared = *step->shared;
  if (shared.interrupted != nullptr && shared.interrupted->load()) return 1;
  if (shared.terminal == nullptr || denom <= 0) return 0;
  const int percent = step->base + static_cast<int>(std::int64_t{num} * step->span / denom);
  if (percent > step->drawn && percent <= 100) {
    step->drawn = percent;
    std::lock_guard<std::mutex> hold(shared.lock);
    DrawShared(shared, step->label, percent);
  }
  return 0;
}

void FinishStep(StepProgress& step) {
  SharedProgress& shared = *step.shared;
  ++shared.done;
  if (shared.terminal == nullptr) return;
  std::lock_guard<std::mutex> hold(shared.lock);
  DrawShared(shared, step.label, 100);
}

void ClearSharedProgress(SharedProgress& shared) {
  if (shared.terminal == nullptr || shared.width == 0) return;
  std::fprintf(shared.terminal, "\r%*s\r", static_cast<int>(shared.width), "");
  std::fflush(shared.terminal);
  shared.width = 0;
}
