// This file contains the steps jamcg's commands share.
#include "jamcg/jamcg_session.h"

#include <cstring>
#include <memory>

#include "file_names/output_files.h"

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

bool ReadOperand(Session& s, const std::string& operand, Source* source) {
  if (operand != "-") {
    *source = Source{operand, nullptr};
    return true;
  }
  auto bytes = std::make_shared<Bytes>();
  std::string error;
  if (!ReadInputFile("-", bytes.get(), &error, SIZE_MAX, s.context.interrupted)) {
    s.Fail("standard input", error, kExitInputError);
    return false;
  }
  *source = Source{"standard input", std::move(bytes)};
  return true;
}

bool ReadHead(const Source& source, Bytes* head, std::string* error) {
  Bytes bytes;
  if (source.memory) {
    bytes.assign(source.memory->begin(),
                 source.memory->begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(
                                              source.memory->size(), kHeadSize)));
  } else if (!ReadInputFile(source.name, &bytes, error, kHeadSize)) {
    return false;
  }
  bytes.resize(kHeadSize);
  *head = std::move(bytes);
  return true;
}

bool OpenOperand(Session& s, const std::string& operand, Source* source, Bytes* head) {
  if (!ReadOperand(s, operand, source)) return false;
  std::string error;
  if (ReadHead(*source, head, &error)) return true;
  s.Fail(source->name, error, kExitInputError);
  return false;
}

bool HoldsPicture(const PictureApi& api, const Bytes& bytes) {
  Bytes head(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(
                                                std::min<std::size_t>(bytes.size(), kHeadSize)));
  head.resize(kHeadSize);
  return api.IsSupported("", Probe(head)) == 1;
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
  return AsciiLower(tail) == AsciiLower(ext);
}

bool OpenArchive(Session& s, const Source& source, ArchiveMembers* archive) {
  std::string error;
  const std::int32_t status = ReadArchive(*s.context.plugins, source, archive, &error);
  if (status != Ok) {
    s.Fail(source.name, StatusText(status, false, source.name, error), ExitCodeOf(status));
    return false;
  }
  return true;
}

bool DataEndEarly(const PictureApi& api, const Bytes& file, const std::uint8_t* bits,
                  std::size_t size, std::uint8_t fill) {
  Bytes padded = file;
  padded.resize(file.size() + 4096, fill);
  MemoryHandle info = nullptr, other = nullptr;
  if (api.GetPicture(padded.data(), static_cast<HostInt>(padded.size()), kMemoryInput, &info,
                     &other, nullptr, 0) != Ok)
    return true;
  const Platform& os = SystemPlatform();
  const auto* pixels = static_cast<const std::uint8_t*>(OsLocalLock(os, other));
  const bool differ =
      pixels == nullptr || OsLocalSize(os, other) != size || std::memcmp(pixels, bits, size) != 0;
  if (pixels != nullptr) OsLocalUnlock(os, other);
  OsLocalFree(os, other);
  OsLocalFree(os, info);
  return differ;
}

std::string AsciiLower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}
