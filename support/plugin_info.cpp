// This file contains the plug-in information lookup shared by both plug-ins.
#include "support/plugin_info.h"

#include <cstring>

std::int32_t GetPluginInfo(const PluginInfoTable& table, std::int32_t info_number, char* buffer,
                           std::int32_t buffer_length) {
  if (info_number < 0 || buffer_length <= 0) return 0;
  for (std::int32_t i = 0; i < info_number; ++i) {
    if (table.entries[i] == nullptr) return 0;
  }
  const char* text = table.entries[info_number];
  if (text == nullptr) return 0;
  auto room = static_cast<std::size_t>(buffer_length - 1);
  buffer[room] = '\0';
  std::strncpy(buffer, text, room);  // zero-fills behind a shorter text
  return static_cast<std::int32_t>(std::strlen(buffer));
}
