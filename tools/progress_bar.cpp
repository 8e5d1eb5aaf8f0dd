// This file contains the command-line tool's progress bar.
#include "tools/progress_bar.h"

std::string ProgressLine(const std::string& label, int percent) {
  constexpr int kWidth = 30;
  const int filled = percent * kWidth / 100;
  std::string line = label.size() > 40 ? "..." + label.substr(label.size() - 37) : label;
  line += " [" + std::string(filled, '#') + std::string(kWidth - filled, ' ') + "] ";
  const std::string number = std::to_string(percent);
  return line + std::string(3 - number.size(), ' ') + number + "%";
}

std::int32_t SPI_CALL DrawProgress(std::int32_t num, std::int32_t denom, std::intptr_t user_data) {
  auto* bar = reinterpret_cast<ProgressBar*>(user_data);
  if (bar->interrupted != nullptr && bar->interrupted->load()) return 1;
  if (bar->terminal == nullptr || denom <= 0) return 0;
  // GetFile ends with a call of (0, 32); the bar never moves backwards.
  const int percent = static_cast<int>(std::int64_t{num} * 100 / denom);
  if (percent > bar->drawn && percent <= 100) {
    bar->drawn = percent;
    std::fprintf(bar->terminal, "\r%s", ProgressLine(bar->label, percent).c_str());
    std::fflush(bar->terminal);
  }
  return 0;
}

void ClearProgress(ProgressBar& bar) {
  if (bar.terminal == nullptr || bar.drawn < 0) return;
  std::fprintf(bar.terminal, "\r%*s\r", static_cast<int>(ProgressLine(bar.label, 0).size()), "");
  std::fflush(bar.terminal);
  bar.drawn = -1;
}
