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
  int columns = 80;  // the terminal's width: the line never wraps
  int drawn = -1;    // the last percentage drawn
};

// The width of the terminal `stream` writes to, or 80 when it cannot be had.
int TerminalColumns(std::FILE* stream);

// The callback; user_data is the address of a ProgressBar. Returns 1 (stop)
// once *interrupted is set, else 0.
std::int32_t SPI_CALL DrawProgress(std::int32_t num, std::int32_t denom, HostInt user_data);

// Removes the bar from the terminal line, if one was drawn.
void ClearProgress(ProgressBar& bar);

// The bar's text for `percent`, 0 to 100, e.g. "name [#####     ]  50%",
// shorter than `columns`: the bar shrinks first, then the label loses its
// beginning ("...me").
std::string ProgressLine(const std::string& label, int percent, int columns = 80);
