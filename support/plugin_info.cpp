// This file contains the plug-in information lookup shared by both plug-ins.
#include "support/plugin_info.h"

namespace {

// Copies the entry as GetPluginInfo does, for single-byte or UTF-16 buffers.
// The texts are ASCII, so each character widens to one UTF-16 unit.
template <class Char>
std::int32_t CopyEntry(const PluginInfoTable& table, std::int32_t info_number, Char* buffer,
                       std::int32_t buffer_length) {
  if (info_number < 0 || buffer_length <= 0) return 0;
  for (std::int32_t i = 0; i < info_number; ++i) {
    if (table.entries[i] == nullptr) return 0;
  }
  const char* text = table.entries[info_number];
  if (text == nullptr) return 0;
  const std::int32_t room = buffer_length - 1;
  buffer[room] = 0;
  std::int32_t length = 0;
  while (length < room && text[length] != '\0') {
    buffer[length] = static_cast<Char>(static_cast<unsigned char>(text[length]));
    ++length;
  }
  for (std::int32_t i = length; i < room; ++i) buffer[i] = 0;  // zero-fill behind a shorter text
  return length;
}

}  // namespace

std::int32_t GetPluginInfo(const PluginInfoTable& table, std::int32_t info_number, char* buffer,
                           std::int32_t buffer_length) {
  return CopyEntry(table, info_number, buffer, buffer_length);
}

std::int32_t GetPluginInfoW(const PluginInfoTable& table, std::int32_t info_number,
                            WideChar* buffer, std::int32_t buffer_length) {
  return CopyEntry(table, info_number, buffer, buffer_length);
}
