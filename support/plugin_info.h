// This file contains the plug-in information lookup. The host learns what a
// plug-in is by asking for numbered texts: entry 0 is the kind code, entry 1
// the name and version shown to the user, and from entry 2 on pairs of
// file-name pattern and format description.
#pragma once

#include <cstdint>

#include "support/host_contract.h"

// A constant list of texts ended by a null entry.
struct PluginInfoTable {
  const char* const* entries;
};

// Copies entry `info_number` into `buffer`, cut to buffer_length - 1
// characters and zero-filled behind the text, and returns the length of the
// text left in the buffer. Returns 0 and leaves the buffer untouched for an
// entry that does not exist (any negative number too), and for a buffer_length
// of 0 or less, which leaves no room even for the terminating zero.
std::int32_t GetPluginInfo(const PluginInfoTable& table, std::int32_t info_number, char* buffer,
                           std::int32_t buffer_length);

// The same, for GetPluginInfoW: the texts widened to UTF-16, and lengths
// counted in UTF-16 units.
std::int32_t GetPluginInfoW(const PluginInfoTable& table, std::int32_t info_number,
                            WideChar* buffer, std::int32_t buffer_length);
