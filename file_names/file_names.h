// This file contains how the command-line tool spells file names. Inside the
// tool every name is UTF-8 text (on Linux, the system's own bytes); on
// Windows a name may hold a lone surrogate, which is carried as its own three
// bytes (WTF-8), so that any name the file system holds reaches the plug-ins
// whole. The
// system's paths are made from it here, and so are the spellings the
// plug-ins take: UTF-16 for their W exports, single-byte for the others.
#pragma once

#include <filesystem>
#include <string>

#include "support/host_contract.h"

// The system path for a UTF-8 name, and the UTF-8 name of a system path.
std::filesystem::path PathOf(const std::string& name);
std::string NameOf(const std::filesystem::path& path);

// A file name as one plug-in call takes it.
struct PluginName {
  PluginName() = default;
  PluginName(const PluginName&) = delete;
  PluginName& operator=(const PluginName&) = delete;
  ~PluginName();
  bool wide = false;  // use the W export with `utf16`; else the ANSI one with `ansi`
  std::u16string utf16;
  std::string ansi;
  int descriptor = -1;  // an open file that `ansi` names, closed with the name
};

// Chooses the spelling of `name` for a plug-in call. On Windows the W export
// is used when the plug-in has one (`has_wide`); otherwise the name in the
// system's code page, or its short (8.3) form when the code page cannot spell
// it. Elsewhere names are the system's bytes and go to the ANSI exports as
// they are; but the plug-ins read '\' as a folder separator, as Windows does,
// so an existing file whose name holds one is opened here and passed as
// /proc/self/fd/N. False, with a message, when no spelling reaches the file.
bool SpellForPlugin(const std::string& name, bool has_wide, PluginName* out, std::string* error);

// The text as a message shows it: on Windows each lone surrogate a name
// carries is written as \uXXXX (a console shows no character for it);
// elsewhere the text as it is.
std::string Printable(const std::string& text);

// Prepares the console for UTF-8 output (Windows); nothing elsewhere.
void UseUtf8Console();
