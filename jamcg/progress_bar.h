// This file contains the command-line tool's progress bar: a ProgressCallback
// that draws a bar on stderr when it is a terminal, and that asks the plug-in
// to stop once the user has pressed Ctrl-C.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>
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

// One line for a job of many pictures run by several workers at once:
// "[3/200] name [#####     ]  50%", the current picture of whichever worker
// last reported. Drawing is under the lock, so the line is never garbled.
struct SharedProgress {
  std::FILE* terminal = nullptr;  // null: draw nothing
  const std::atomic<bool>* interrupted = nullptr;
  int columns = 80;
  std::size_t total = 0;
  std::atomic<std::size_t> done{0};
  std::mutex lock;
  std::size_t width = 0;  // of the line last drawn, to clear it
};

// One worker's current picture; user_data of DrawSharedProgress.
// A step goes through phases (extracting, decoding, encoding): each phase's
// calls fill its own stretch [base, base + span) of the step's percentage.
struct StepProgress {
  SharedProgress* shared;
  std::string label;
  int drawn = -1;
  int base = 0;
  int span = 100;
};

// The callback for a step; returns 1 (stop) once *interrupted is set.
std::int32_t SPI_CALL DrawSharedProgress(std::int32_t num, std::int32_t denom, HostInt user_data);
// Counts a finished step.
void FinishStep(StepProgress& step);
// Removes the line, if one was drawn.
void ClearSharedProgress(SharedProgress& shared);
