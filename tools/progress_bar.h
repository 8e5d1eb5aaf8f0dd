// This file contains the command-line tool's progress bar: a ProgressCallback
// that draws a bar on stderr when it is a terminal, and that asks the plug-in
// to stop once the user has pressed Ctrl-C.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>

#include "support/host_contract.h"

struct ProgressBar {
  std::FILE* terminal = nullptr;  // null: draw nothing
  const std::atomic<bool>* interrupted = nullptr;
  std::string label;
  int drawn = -1;  // the last percentage drawn
};

// The callback; user_data is the address of a ProgressBar. Returns 1 (stop)
// once *interrupted is set, else 0.
std::int32_t SPI_CALL DrawProgress(std::int32_t num, std::int32_t denom, std::intptr_t user_data);

// Removes the bar from the terminal line, if one was drawn.
void ClearProgress(ProgressBar& bar);

// The bar's text for `percent`, 0 to 100, e.g. "name [#####     ]  50%".
std::string ProgressLine(const std::string& label, int percent);
