// This file contains the tool's file-name spellings.
#include "file_names/file_names.h"

#include <cstdio>

#include "support/text_encoding.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

#ifdef _WIN32

namespace {

// The name in the system's code page, or false when a character has no
// spelling there (Windows would put a replacement character in its place).
bool InCodePage(const std::wstring& wide, std::string* out) {
  if (wide.empty()) return out->clear(), true;
  BOOL lost = FALSE;
  const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(),
                                       static_cast<int>(wide.size()), nullptr, 0, nullptr, &lost);
  if (size <= 0 || lost) return false;
  out->assign(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), static_cast<int>(wide.size()),
                      out->data(), size, nullptr, &lost);
  return !lost;
}

}  // namespace

PluginName::~PluginName() = default;

fs::path PathOf(const std::string& name) {
  std::u16string utf16;
  if (!Utf16FromUtf8(name, &utf16, true)) return fs::path(std::u8string(name.begin(), name.end()));
  return fs::path(std::wstring(utf16.begin(), utf16.end()));
}

std::string NameOf(const fs::path& path) {
  const std::wstring& wide = path.native();
  std::string name;
  Utf8FromUtf16(std::u16string(wide.begin(), wide.end()), &name, true);
  return name;
}

std::string Printable(const std::string& text) {
  std::string shown;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    // A surrogate's three bytes: ED A0-BF 80-BF.
    if (lead == 0xED && next >= 0xA0 && next <= 0xBF && i + 2 < text.size()) {
      const unsigned unit =
          0xD000 | ((next & 0x3Fu) << 6) | (static_cast<unsigned char>(text[i + 2]) & 0x3Fu);
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04X", unit);
      shown += escaped;
      i += 2;
    } else {
      shown.push_back(text[i]);
    }
  }
  return shown;
}

bool SpellForPlugin(const std::string& name, bool has_wide, PluginName* out, std::string* error) {
  std::u16string utf16;
  if (!Utf16FromUtf8(name, &utf16, true)) {
    *error = "the name " + name + " is not UTF-8 text";
    return false;
  }
  out->wide = has_wide;
  out->utf16 = utf16;
  if (has_wide) return true;
  const std::wstring wide(utf16.begin(), utf16.end());
  if (InCodePage(wide, &out->ansi)) return true;
  // The short form, where the file system keeps one, is plain ASCII.
  std::wstring short_name(32768, L'\0');
  const DWORD length =
      GetShortPathNameW(wide.c_str(), short_name.data(), static_cast<DWORD>(short_name.size()));
  if (length != 0 && length < short_name.size()) {
    short_name.resize(length);
    if (InCodePage(short_name, &out->ansi)) return true;
  }
  *error = name +
           ": the plug-in has no wide-character exports, and this name has no spelling in the "
           "system's code page (nor a short 8.3 form)";
  return false;
}

void UseUtf8Console() { SetConsoleOutputCP(CP_UTF8); }

#else

fs::path PathOf(const std::string& name) { return fs::path(name); }

std::string NameOf(const fs::path& path) { return path.string(); }

std::string Printable(const std::string& text) { return text; }

PluginName::~PluginName() {
  if (descriptor >= 0) close(descriptor);
}

bool SpellForPlugin(const std::string& name, bool, PluginName* out, std::string*) {
  out->wide = false;
  out->ansi = name;
  if (name.find('\\') != std::string::npos) {
    out->descriptor = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (out->descriptor >= 0) out->ansi = "/proc/self/fd/" + std::to_string(out->descriptor);
  }
  return true;
}

void UseUtf8Console() {}

#endif
