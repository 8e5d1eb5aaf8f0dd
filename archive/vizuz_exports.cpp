// This file contains the exports of vizuz.spi: each is the host's call,
// forwarded to the archive plug-in's operation with the system's platform.
#include "archive/archive_plugin.h"

extern "C" {

std::int32_t SPI_CALL GetPluginInfo(std::int32_t info_number, char* buffer,
                                    std::int32_t buffer_length) {
  return GetPluginInfo(archive::kInfoTable, info_number, buffer, buffer_length);
}

std::int32_t SPI_CALL IsSupported(const char* file_name, std::uintptr_t probe_word) {
  return archive::IsSupported(SystemPlatform(), file_name, probe_word);
}

std::int32_t SPI_CALL GetArchiveInfo(const void* source, std::int32_t length_or_offset,
                                     std::uint32_t flags, MemoryHandle* info_slot) {
  return archive::GetArchiveInfo(SystemPlatform(), source, length_or_offset, flags, info_slot);
}

std::int32_t SPI_CALL GetFileInfo(const void* source, std::int32_t length_or_offset,
                                  const char* file_name, std::uint32_t flags,
                                  ArchiveMemberRecord* record_out) {
  return archive::GetFileInfo(SystemPlatform(), source, length_or_offset, file_name, flags,
                              record_out);
}

std::int32_t SPI_CALL GetFile(const void* source, std::int32_t position_or_length, void* dest,
                              std::uint32_t flags, ProgressCallback progress,
                              std::intptr_t user_data) {
  return archive::GetFile(SystemPlatform(), source, position_or_length, dest, flags, progress,
                          user_data);
}

}  // extern "C"
