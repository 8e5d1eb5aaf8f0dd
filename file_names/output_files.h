// This file contains how the command-line tool reads its inputs and writes its
// outputs. An output is never written over an existing file unless asked to,
// never over a folder, and never left partial: it is written under a
// temporary name of its own beside the final one (".jamcg-RANDOM",
// created exclusively, so that no other file is ever touched), and moved into
// place only when complete. Inputs are read in bounded pieces, so that a
// cancellation is seen between pieces and no more is read than was asked for.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

// An output being written. Its destructor removes the temporary file unless
// PlaceOutput moved it into place. The name "-" is standard output, written
// directly.
struct OutputFile {
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();
  std::string name;                  // the final name, as the user gave it
  std::filesystem::path final_path;  // where it goes
  std::filesystem::path temp_path;   // where it is written meanwhile
  std::FILE* stream = nullptr;
};

// False, with a one-line reason, when `path` may not be written: it is a
// folder, or it exists and `replace` is false.
bool MayWriteOutput(const std::string& path, bool replace, std::string* error);

// Starts writing `path` (MayWriteOutput first).
bool OpenOutput(const std::string& path, bool replace, OutputFile* out, std::string* error);
bool WriteOutput(OutputFile& out, const void* data, std::size_t size, std::string* error);
// Completes the file and moves it into place; on failure the temporary file
// is removed and nothing else changed.
bool PlaceOutput(OutputFile& out, bool replace, std::string* error);

// The error text of a write to standard output after its reader has gone (a
// closed pipe): not a failure to report, only a reason to stop, with exit 3.
inline const std::string kClosedPipe = "";

// True when `error` (errno) says that standard output's reader has gone:
// EPIPE (SIGPIPE is ignored), or on Windows EINVAL, as msvcrt says it.
bool ReaderGone(int error);

// Moves the complete file at `temp` to `final_path` in one step: over an
// existing file only when `replace` (its data flushed to the disk first, so
// that a crash cannot leave the old file gone and the new one empty), else
// failing with EEXIST if anything has that name, even if it appeared a moment
// ago. 0 on success, else an errno value.
int MoveIntoPlace(const std::filesystem::path& temp, const std::filesystem::path& final_path,
                  bool replace);

// Writes `bytes` to `path` as a whole: OpenOutput, WriteOutput, PlaceOutput.
// The bytes go out in pieces; a set *interrupted stops the writing between
// two ("cancelled"), and nothing is left.
bool WriteOutputFile(const std::string& path, const std::vector<std::uint8_t>& bytes, bool replace,
                     std::string* error, const std::atomic<bool>* interrupted = nullptr);

// Reads the file's first `limit` bytes (all of it when shorter), in pieces
// ("-" is standard input),
// stopping early when *interrupted is set (then false with "cancelled").
// False with a one-line reason naming the file otherwise: it cannot be
// opened, it is a folder, or a read fails.
bool ReadInputFile(const std::string& path, std::vector<std::uint8_t>* bytes, std::string* error,
                   std::size_t limit = SIZE_MAX, const std::atomic<bool>* interrupted = nullptr);

// A one-line reason for an input that cannot be read as a file: "is a
// folder", "no such file", ...; empty when it is a regular file (or a device
// or pipe, which is read as one).
std::string InputProblem(const std::string& path);

// True when the two paths name the same existing file.
bool SameFile(const std::string& a, const std::string& b);
