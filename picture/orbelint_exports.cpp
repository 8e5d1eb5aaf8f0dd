// This file contains the exports of orbelint.spi and orbelint.sph: each is
// the host's call, forwarded to the picture plug-in's operation with the
// system's platform. The W exports take file names as UTF-16; the host's
// wchar_t is the same 16-bit unit as WideChar.
#include "picture/picture_plugin.h"

extern "C" {

std::int32_t SPI_CALL GetPluginInfo(std::int32_t info_number, char* buffer,
                                    std::int32_t buffer_length) {
  return GetPluginInfo(picture::kInfoTable, info_number, buffer, buffer_length);
}

std::int32_t SPI_CALL GetPluginInfoW(std::int32_t info_number, WideChar* buffer,
                                     std::int32_t buffer_length) {
  return GetPluginInfoW(picture::kInfoTable, info_number, buffer, buffer_length);
}

std::int32_t SPI_CALL IsSupported(const char* file_name, std::uintptr_t probe_word) {
  return picture::IsSupported(SystemPlatform(), file_name, probe_word);
}

std::int32_t SPI_CALL IsSupportedW(const WideChar*, std::uintptr_t probe_word) {
  return picture::IsSupported(SystemPlatform(), nullptr, probe_word);  // the name is not used
}

std::int32_t SPI_CALL GetPictureInfo(const void* source, HostInt length_or_offset,
                                     std::uint32_t flags, PictureInfoRecord* info_out) {
  return picture::GetPictureInfo(SystemPlatform(), source, length_or_offset, flags, info_out);
}

std::int32_t SPI_CALL GetPictureInfoW(const void* source, HostInt length_or_offset,
                                      std::uint32_t flags, PictureInfoRecord* info_out) {
  return picture::GetPictureInfoW(SystemPlatform(), source, length_or_offset, flags, info_out);
}

std::int32_t SPI_CALL GetPicture(const void* source, HostInt length_or_offset, std::uint32_t flags,
                                 MemoryHandle* info_slot, MemoryHandle* bits_slot,
                                 ProgressCallback progress, HostInt user_data) {
  return picture::GetPicture(SystemPlatform(), source, length_or_offset, flags, info_slot,
                             bits_slot, progress, user_data);
}

std::int32_t SPI_CALL GetPictureW(const void* source, HostInt length_or_offset, std::uint32_t flags,
                                  MemoryHandle* info_slot, MemoryHandle* bits_slot,
                                  ProgressCallback progress, HostInt user_data) {
  return picture::GetPictureW(SystemPlatform(), source, length_or_offset, flags, info_slot,
                              bits_slot, progress, user_data);
}

std::int32_t SPI_CALL GetPreview(const void* source, HostInt length_or_offset, std::uint32_t flags,
                                 MemoryHandle* info_slot, MemoryHandle* bits_slot,
                                 ProgressCallback progress, HostInt user_data) {
  return picture::GetPreview(source, length_or_offset, flags, info_slot, bits_slot, progress,
                             user_data);
}

std::int32_t SPI_CALL GetPreviewW(const void* source, HostInt length_or_offset, std::uint32_t flags,
                                  MemoryHandle* info_slot, MemoryHandle* bits_slot,
                                  ProgressCallback progress, HostInt user_data) {
  return picture::GetPreview(source, length_or_offset, flags, info_slot, bits_slot, progress,
                             user_data);
}

}  // extern "C"
