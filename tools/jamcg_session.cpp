// This file contains the steps jamcg's commands share.
#include "tools/jamcg_session.h"

#include "tools/output_files.h"

namespace fs = std::filesystem;

std::string StatusText(std::int32_t status, bool picture, const std::string& file,
                       const std::string& error) {
  switch (status) {
    case kUnspellableName: return error;
    case Cancelled: return "cancelled";
    case UnsupportedFormat: return picture ? "not a GCmpSH0 picture" : "not an NSC archive";
    case BrokenData: return "broken pixel data";
    case NoMemory: return "out of memory";
    case MemoryError: return "empty member, or memory that cannot be locked";
    case ReadError: {
      const std::string problem = InputProblem(file);
      return "cannot read " + file + ": " + (problem.empty() ? "a read failed" : problem);
    }
    case OutputError: return "cannot write the output";
    default: return "failed with status " + std::to_string(status);
  }
}

int ExitCodeOf(std::int32_t status) {
  switch (status) {
    case Cancelled: return kExitCancelled;
    case NoMemory: return kExitNoMemory;
    case OutputError: return kExitOutputError;
    default: return kExitInputError;
  }
}

bool ReadHead(const std::string& path, Bytes* head, std::string* error) {
  Bytes bytes;
  if (!ReadInputFile(path, &bytes, error, kHeadSize)) return false;
  bytes.resize(kHeadSize);
  *head = std::move(bytes);
  return true;
}

std::uintptr_t Probe(const Bytes& head) { return reinterpret_cast<std::uintptr_t>(head.data()); }

std::string InfoText(InfoFunction info, int number) {
  char text[256] = {};
  info(number, text, sizeof text);
  return text;
}

bool MatchesPattern(const std::string& path, const std::string& pattern) {
  if (pattern == "*.*" || pattern == "*") return true;
  if (pattern.rfind("*.", 0) != 0) return false;
  std::string name = NameOf(PathOf(path).filename()), ext = pattern.substr(1);
  if (name.size() < ext.size()) return false;
  std::string tail = name.substr(name.size() - ext.size());
  std::transform(tail.begin(), tail.end(), tail.begin(), ::tolower);
  std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
  return tail == ext;
}

bool ListMembers(Session& s, const std::string& path, std::vector<Member>* members) {
  std::string error;
  const std::int32_t status = ListArchive(s.archive(), path, members, &error);
  if (status != Ok) {
    s.Fail(path, StatusText(status, false, path, error), ExitCodeOf(status));
    return false;
  }
  return true;
}
