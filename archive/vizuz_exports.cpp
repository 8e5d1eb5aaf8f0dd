// This file contains the exports of vizuz.spi and vizuz.sph: each is the
// host's call, forwarded to the archive plug-in's operation with the system's
// platform. The W exports take their texts as UTF-16; the host's wchar_t is
// the same 16-bit unit as WideChar.
#include "archive/archive_plugin.h"

extern "C" {

std::int32_t SPI_CALL GetPluginInfo(std::int32_t info_number, char* buffer,
                                    std::int32_t buffer_length) {
  return GetPluginInfo(archive::kInfoTable, info_number, buffer, buffer_length);
}

std::int32_t SPI_CALL GetPluginInfoW(std::int32_t info_number, WideChar* buffer,
                                     std::int32_t buffer_length) {
  return GetPluginInfoW(archive::kInfoTable, info_number, buffer, buffer_length);
}

std::int32_t SPI_CALL IsSupported(const char* file_name, std::uintptr_t probe_word) {
  return archive::IsSupported(SystemPlatform(), file_name, probe_word);
}

std::int32_t SPI_CALL IsSupportedW(const WideChar*, std::uintptr_t probe_word) {
  return archive::IsSupported(SystemPlatform(), nullptr, probe_word);  // the name is not used
}

std::int32_t SPI_CALL GetArchiveInfo(const void* source, HostInt length_or_offset,
                                     std::uint32_t flags, MemoryHandle* info_slot) {
  return archive::GetArchiveInfo(SystemPlatform(), source, length_or_offset, flags, info_slot);
}

std::int32_t SPI_CALL GetArchiveInfoW(const void* source, HostInt length_or_offset,
                                      std::uint32_t flags, MemoryHandle* info_slot) {
  return archive::GetArchiveInfoW(SystemPlatform(), source, length_or_offset, flags, info_slot);
}

std::int32_t SPI_CALL GetFileInfo(const void* source, HostInt length_or_offset,
                                  const char* file_name, std::uint32_t flags,
                                  ArchiveMemberRecord* record_out) {
  return archive::GetFileInfo(SystemPlatform(), source, length_or_offset, file_name, flags,
                              record_out);
}

std::int32_t SPI_CALL GetFileInfoW(const void* source, HostInt length_or_offset,
                                   const WideChar* file_name, std::uint32_t flags,
                                   WideMemberRecord* record_out) {
  return archive::GetFileInfoW(SystemPlatform(), source, length_or_offset, file_name, flags,
                               record_out);
}

std::int32_t SPI_CALL GetFile(const void* source, HostInt position_or_length, void* dest,
                              std::uint32_t flags, ProgressCallback progress, HostInt user_data) {
  return archive::GetFile(SystemPlatform(), source, position_or_length, dest, flags, progress,
                          user_data);
}

std::int32_t SPI_CALL GetFileW(const void* source, HostInt position_or_length, void* dest,
                               std::uint32_t flags, ProgressCallback progress, HostInt user_data) {
  return archive::GetFileW(SystemPlatform(), source, position_or_length, dest, flags, progress,
                           user_data);
}

}  // extern "C"
