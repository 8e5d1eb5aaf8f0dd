// This file contains the command-line tool's output and input files.
#include "file_names/output_files.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#define close _close
#define fdopen _fdopen
#else
#include <stdio.h>  // renameat2
#include <unistd.h>
#endif

#include "file_names/file_names.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kPiece = 1 << 20;

std::string Reason(int error) { return std::strerror(error); }

// Creates `path` for writing, failing if anything of that name exists.
std::FILE* CreateExclusive(const fs::path& path) {
#ifdef _WIN32
  const int fd =
      _wopen(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
  const int fd = open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
#endif
  if (fd < 0) return nullptr;
  std::FILE* stream = fdopen(fd, "wb");
  if (stream == nullptr) {
    const int cause = errno;
    close(fd);
    errno = cause;
  }
  return stream;
}

// Standard streams carry bytes as they are (Windows would turn \n into \r\n).
void UseBinaryMode(std::FILE* stream) {
#ifdef _WIN32
  _setmode(_fileno(stream), _O_BINARY);
#else
  (void)stream;
#endif
}

}  // namespace

int MoveIntoPlace(const fs::path& temp, const fs::path& final_path, bool replace) {
#ifdef _WIN32
  const DWORD flags = replace ? MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH : 0;
  if (MoveFileExW(temp.c_str(), final_path.c_str(), flags)) return 0;
  const DWORD error = GetLastError();
  return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? EEXIST
         : error == ERROR_ACCESS_DENIED                              ? EACCES
                                                                     : EIO;
#else
  if (replace) {
    const int fd = open(temp.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd >= 0) {
      fsync(fd);
      close(fd);
    }
    return rename(temp.c_str(), final_path.c_str()) == 0 ? 0 : errno;
  }
  // Without replacing: renameat2 where the file system has it; else a hard
  // link (which fails if the name exists) and the temporary name removed;
  // else (FAT has no links) the final name created exclusively first and
  // the file renamed over that placeholder, which no one else can have made.
  if (renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, final_path.c_str(), RENAME_NOREPLACE) == 0)
    return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return errno;
  if (link(temp.c_str(), final_path.c_str()) == 0) {
    unlink(temp.c_str());
    return 0;
  }
  if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP) return errno;
  const int placeholder = open(final_path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
  if (placeholder < 0) return errno;
  close(placeholder);
  if (rename(temp.c_str(), final_path.c_str()) == 0) return 0;
  const int cause = errno;
  unlink(final_path.c_str());
  return cause;
#endif
}

namespace {

std::string RandomTag() {
  std::random_device seed;
  char tag[17];
  std::snprintf(tag, sizeof tag, "%08x%08x", seed(), seed());
  return tag;
}

}  // namespace

OutputFile::~OutputFile() {
  if (stream != nullptr && stream != stdout) std::fclose(stream);
  std::error_code ignored;
  if (!temp_path.empty()) fs::remove(temp_path, ignored);
}

bool MayWriteOutput(const std::string& path, bool replace, std::string* error) {
  if (path == "-") return true;
  std::error_code code;
  const fs::file_status status = fs::status(PathOf(path), code);
  if (fs::is_directory(status)) {
    *error = path + " is a folder; give a file name, or the folder with a file name in it";
    return false;
  }
  if (fs::exists(status) && !replace) {
    *error = path + " exists (use -f to replace it)";
    return false;
  }
  return true;
}

bool OpenOutput(const std::string& path, bool replace, OutputFile* out, std::string* error) {
  if (!MayWriteOutput(path, replace, error)) return false;
  out->name = path;
  if (path == "-") {
    // Standard output: written as it comes, so a failure may leave part of it.
    UseBinaryMode(stdout);
    out->name = "the standard output";
    out->stream = stdout;
    return true;
  }
  out->final_path = PathOf(path);
  fs::path folder = out->final_path.parent_path();
  // A short name of its own, so that any final name the file system takes
  // (up to its longest) can be written.
  for (int attempt = 0; attempt < 16; ++attempt) {
    const fs::path temp = folder / PathOf(".jamcg-" + RandomTag());
    out->stream = CreateExclusive(temp);
    if (out->stream != nullptr) {
      out->temp_path = temp;
      return true;
    }
    if (errno != EEXIST) break;
  }
  *error = "cannot write " + path + ": " + Reason(errno);
  return false;
}

bool ReaderGone(int error) {
#ifdef _WIN32
  return error == EPIPE || error == EINVAL;
#else
  return error == EPIPE;
#endif
}

bool WriteOutput(OutputFile& out, const void* data, std::size_t size, std::string* error) {
  if (size != 0 && std::fwrite(data, 1, size, out.stream) != size) {
    const int cause = errno;
    *error = out.stream == stdout && ReaderGone(cause)
                 ? kClosedPipe
                 : "cannot write " + out.name + ": " + Reason(cause);
    return false;
  }
  return true;
}

bool PlaceOutput(OutputFile& out, bool replace, std::string* error) {
  if (out.stream == stdout) {
    out.stream = nullptr;
    if (std::fflush(stdout) == 0) return true;
    const int cause = errno;
    *error = ReaderGone(cause) ? kClosedPipe : "cannot write the standard output: " + Reason(cause);
    return false;
  }
  const int closed = std::fclose(out.stream);
  const int cause = errno;
  out.stream = nullptr;
  if (closed != 0) {
    *error = "cannot write " + out.name + ": " + Reason(cause);
    return false;
  }
  // Asked again: the file may have appeared, or become a folder, meanwhile.
  if (!MayWriteOutput(out.name, replace, error)) return false;
  const int failure = MoveIntoPlace(out.temp_path, out.final_path, replace);
  if (failure != 0) {
    *error = failure == EEXIST ? out.name + " exists (use -f to replace it)"
                               : "cannot write " + out.name + ": " + Reason(failure);
    return false;
  }
  out.temp_path.clear();
  return true;
}

bool WriteOutputFile(const std::string& path, const std::vector<std::uint8_t>& bytes, bool replace,
                     std::string* error, const std::atomic<bool>* interrupted) {
  constexpr std::size_t kPiece = std::size_t{4} << 20;
  OutputFile out;
  if (!OpenOutput(path, replace, &out, error)) return false;
  for (std::size_t done = 0; done < bytes.size(); done += kPiece) {
    if (interrupted != nullptr && interrupted->load()) return *error = "cancelled", false;
    if (!WriteOutput(out, bytes.data() + done, std::min(kPiece, bytes.size() - done), error))
      return false;
  }
  return PlaceOutput(out, replace, error);
}

std::string InputProblem(const std::string& path) {
  std::error_code code;
  const fs::file_status status = fs::status(PathOf(path), code);
  if (fs::is_directory(status)) return "is a folder";
  if (status.type() == fs::file_type::not_found) return "no such file";
  if (!fs::exists(status)) return code.message();
  return "";
}

bool ReadInputFile(const std::string& path, std::vector<std::uint8_t>* bytes, std::string* error,
                   std::size_t limit, const std::atomic<bool>* interrupted) {
  const bool standard = path == "-";
  const std::string problem = standard ? "" : InputProblem(path);
  if (!problem.empty()) {
    *error = "cannot read " + path + ": " + problem;
    return false;
  }
#ifdef _WIN32
  std::FILE* in = standard ? stdin : _wfopen(PathOf(path).c_str(), L"rb");
#else
  std::FILE* in = standard ? stdin : std::fopen(path.c_str(), "rb");
#endif
  if (standard) UseBinaryMode(stdin);
  if (in == nullptr) {
    *error = "cannot read " + path + ": " + Reason(errno);
    return false;
  }
  bytes->clear();
  bool ok = true;
  while (bytes->size() < limit) {
    if (interrupted != nullptr && interrupted->load()) {
      *error = "cancelled";
      ok = false;
      break;
    }
    const std::size_t want = std::min(kPiece, limit - bytes->size());
    const std::size_t had = bytes->size();
    bytes->resize(had + want);
    const std::size_t got = std::fread(bytes->data() + had, 1, want, in);
    bytes->resize(had + got);
    if (got < want) {
      if (std::ferror(in)) {
        // A signal that asks to stop ends a blocking read early.
        *error = interrupted != nullptr && interrupted->load()
                     ? "cancelled"
                     : "cannot read " + path + ": " + Reason(errno);
        ok = false;
      }
      break;
    }
  }
  if (!standard) std::fclose(in);
  return ok;
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code code;
  return fs::equivalent(PathOf(a), PathOf(b), code) && !code;
}
