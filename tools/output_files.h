// This file contains how the command-line tool writes its outputs: never over
// an existing file unless asked to, and never as a partial file. Each output
// is written under a temporary name beside its final one and renamed when it
// is complete.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The temporary name an output is written under before it is complete.
std::string PartialName(const std::string& path);

// Writes `bytes` to `path`. False with a reason in *error if `path` exists
// and `replace` is false, or if the file cannot be written; no file is left
// behind under either name then.
bool WriteOutputFile(const std::string& path, const std::vector<std::uint8_t>& bytes, bool replace,
                     std::string* error);

// Moves a complete file `from` to `path`, under the same rule for existing
// files; `from` is removed if the move is refused or fails.
bool PlaceOutputFile(const std::string& from, const std::string& path, bool replace,
                     std::string* error);

// Reads the whole file, or only its first `limit` bytes.
bool ReadInputFile(const std::string& path, std::vector<std::uint8_t>* bytes, std::string* error,
                   std::size_t limit = SIZE_MAX);
