// This file contains the command-line tool's output and input files.
#include "tools/output_files.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "tools/file_names.h"

namespace fs = std::filesystem;

std::string PartialName(const std::string& path) { return path + ".part"; }

bool PlaceOutputFile(const std::string& from, const std::string& path, bool replace,
                     std::string* error) {
  std::error_code code;
  const fs::path target = PathOf(path), source = PathOf(from);
  if (fs::exists(target, code) && !replace) {
    fs::remove(source, code);
    *error = path + " exists (use -f to replace it)";
    return false;
  }
  // Windows will not rename over an existing file.
  if (replace) fs::remove(target, code);
  fs::rename(source, target, code);
  if (code) {
    fs::remove(source, code);
    *error = "cannot write " + path + ": " + code.message();
    return false;
  }
  return true;
}

bool WriteOutputFile(const std::string& path, const std::vector<std::uint8_t>& bytes, bool replace,
                     std::string* error) {
  std::error_code code;
  if (fs::exists(PathOf(path), code) && !replace) {
    *error = path + " exists (use -f to replace it)";
    return false;
  }
  const std::string partial = PartialName(path);
  {
    std::ofstream out(PathOf(partial), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      const int cause = errno;
      fs::remove(PathOf(partial), code);
      *error = "cannot write " + path + ": " + std::strerror(cause);
      return false;
    }
  }
  return PlaceOutputFile(partial, path, replace, error);
}

bool ReadInputFile(const std::string& path, std::vector<std::uint8_t>* bytes, std::string* error,
                   std::size_t limit) {
  std::ifstream in(PathOf(path), std::ios::binary);
  if (!in) {
    *error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  if (limit == SIZE_MAX) {
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  } else {
    bytes->resize(limit);
    in.read(reinterpret_cast<char*>(bytes->data()), static_cast<std::streamsize>(limit));
    bytes->resize(static_cast<std::size_t>(in.gcount()));
    in.clear();  // a file shorter than the limit is not a failure
  }
  if (in.bad()) {
    *error = "cannot read " + path;
    return false;
  }
  return true;
}
