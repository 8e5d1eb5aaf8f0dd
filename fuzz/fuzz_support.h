// This file contains what the fuzz targets share: how the input is split into
// data and options, a copy of the data that ends right before an unreadable
// page (so any read past its end faults at once, with or without a
// sanitizer), a platform that can fail one chosen call, and the checks that
// every target makes of the plug-in's accounting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/platform_faults.h"

// Stops the run with a message: a check failed.
[[noreturn]] inline void FuzzCheckFailed(const char* what, int line) {
  std::fprintf(stderr, "fuzz check failed at line %d: %s\n", line, what);
  std::abort();
}
#define FUZZ_CHECK(condition) ((condition) ? (void)0 : FuzzCheckFailed(#condition, __LINE__))

// The input's last 5 bytes are options: one byte of choices and one 32-bit
// word (a position, a platform call to fail, ...); the rest is the data.
struct FuzzInput {
  const std::uint8_t* data;
  std::size_t size;
  std::uint8_t choice;
  std::uint32_t word;
};
FuzzInput SplitInput(const std::uint8_t* data, std::size_t size);

// A copy of `size` bytes whose last byte lies right before a page that cannot
// be read. Freed by its destructor.
struct GuardedBytes {
  GuardedBytes(const std::uint8_t* data, std::size_t size);
  ~GuardedBytes();
  GuardedBytes(const GuardedBytes&) = delete;
  GuardedBytes& operator=(const GuardedBytes&) = delete;
  std::uint8_t* data;
  std::size_t size;
  void* mapping;
  std::size_t mapping_size;
};

// A fault plan that fails the `fail_at`-th platform call (0: none).
FaultPlan PlanFailing(std::uint32_t fail_at);

// After any export: no file handle is left open, and no block is outstanding
// beyond those the export handed over (`handed_over`).
void CheckAccounting(const FaultPlan& plan, int handed_over);

// Checks a handed-over block: it exists, is unlocked (locking it once gives
// a lock count of 1), has `size` bytes; then frees it through `os`.
void CheckAndFreeBlock(const Platform& os, MemoryHandle block, std::uint32_t size);

// A progress callback that asks to stop at its at-th call (0-based), with
// user_data the address of a Cancel; an `at` beyond the calls never stops.
struct Cancel {
  std::uint32_t at;
  std::uint32_t calls = 0;
};
std::int32_t SPI_CALL CountDown(std::int32_t num, std::int32_t denom, HostInt user_data);

// A file of the process's own in the temporary folder, holding `size` bytes.
std::string WriteTemporaryFile(const char* tag, const std::uint8_t* data, std::size_t size);

// Choices every reading target takes from the same bits of its choice byte.
constexpr std::uint8_t kWideChoice = 0x40;       // call the W export (UTF-16 file name)
constexpr std::uint8_t kBadLengthChoice = 0x80;  // memory input with an impossible length

// Makes a reading export's call on `data`, from memory or, when `from_file`,
// from a temporary file (named for `tag`, removed afterwards) at `offset`.
// With kWideChoice the file name is UTF-16; with kBadLengthChoice a memory
// block is passed with a negative length, or one that runs past the top of
// the address space, which must read as an empty block. `call(source,
// length_or_offset, input_kind)` makes the call itself.
template <class Call>
std::int32_t CallWithSource(const GuardedBytes& data, std::uint8_t choice, bool from_file,
                            const char* tag, std::uint32_t offset, Call call) {
  if (!from_file) {
    if ((choice & kBadLengthChoice) == 0)
      return call(static_cast<const void*>(data.data), static_cast<HostInt>(data.size),
                  std::uint32_t{1});
    if (offset & 1) {
      const auto start = reinterpret_cast<std::uintptr_t>(data.data);
      return call(static_cast<const void*>(data.data),
                  static_cast<HostInt>(UINTPTR_MAX - start + 1 + offset), std::uint32_t{1});
    }
    return call(static_cast<const void*>(data.data), -1 - static_cast<HostInt>(offset),
                std::uint32_t{1});
  }
  const std::string path = WriteTemporaryFile(tag, data.data, data.size);
  const std::u16string wide_path(path.begin(), path.end());  // the path is ASCII
  const void* name = choice & kWideChoice ? static_cast<const void*>(wide_path.c_str())
                                          : static_cast<const void*>(path.c_str());
  const std::int32_t status = call(name, static_cast<HostInt>(offset), std::uint32_t{0});
  std::remove(path.c_str());
  return status;
}