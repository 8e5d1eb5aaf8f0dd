// This file contains the tests' export tables of the two plug-ins.
#include "tests/plugin_api.h"

#include <cstdio>
#include <cstdlib>

#include "archive/archive_plugin.h"
#include "picture/picture_plugin.h"

#ifdef _WIN32
#include <windows.h>

namespace {

HMODULE Load(const char* name) {
  HMODULE library = LoadLibraryA(name);
  if (library == nullptr) {
    std::fprintf(stderr, "cannot load %s (error %lu)\n", name, GetLastError());
    std::abort();
  }
  return library;
}

template <class Function>
void Find(HMODULE library, const char* name, Function* slot) {
  FARPROC found = GetProcAddress(library, name);
  if (found == nullptr) {
    std::fprintf(stderr, "export %s is missing\n", name);
    std::abort();
  }
  *slot = reinterpret_cast<Function>(reinterpret_cast<void*>(found));
}

PictureApi LoadPicture() {
  HMODULE library = Load("orbelint.spi");
  PictureApi api{};
  Find(library, "GetPluginInfo", &api.GetPluginInfo);
  Find(library, "IsSupported", &api.IsSupported);
  Find(library, "GetPictureInfo", &api.GetPictureInfo);
  Find(library, "GetPicture", &api.GetPicture);
  Find(library, "GetPreview", &api.GetPreview);
  return api;
}

ArchiveApi LoadArchive() {
  HMODULE library = Load("vizuz.spi");
  ArchiveApi api{};
  Find(library, "GetPluginInfo", &api.GetPluginInfo);
  Find(library, "IsSupported", &api.IsSupported);
  Find(library, "GetArchiveInfo", &api.GetArchiveInfo);
  Find(library, "GetFileInfo", &api.GetFileInfo);
  Find(library, "GetFile", &api.GetFile);
  return api;
}

}  // namespace

#else

namespace {

PictureApi LoadPicture() {
  PictureApi api{};
  api.GetPluginInfo = [](std::int32_t number, char* buffer, std::int32_t length) {
    return GetPluginInfo(picture::kInfoTable, number, buffer, length);
  };
  api.IsSupported = [](const char* name, std::uintptr_t probe) {
    return picture::IsSupported(SystemPlatform(), name, probe);
  };
  api.GetPictureInfo = [](const void* source, std::int32_t length, std::uint32_t flags,
                          PictureInfoRecord* record) {
    return picture::GetPictureInfo(SystemPlatform(), source, length, flags, record);
  };
  api.GetPicture = [](const void* source, std::int32_t length, std::uint32_t flags,
                      MemoryHandle* info, MemoryHandle* bits, ProgressCallback progress,
                      std::intptr_t user_data) {
    return picture::GetPicture(SystemPlatform(), source, length, flags, info, bits, progress,
                               user_data);
  };
  api.GetPreview = picture::GetPreview;
  return api;
}

ArchiveApi LoadArchive() {
  ArchiveApi api{};
  api.GetPluginInfo = [](std::int32_t number, char* buffer, std::int32_t length) {
    return GetPluginInfo(archive::kInfoTable, number, buffer, length);
  };
  api.IsSupported = [](const char* name, std::uintptr_t probe) {
    return archive::IsSupported(SystemPlatform(), name, probe);
  };
  api.GetArchiveInfo = [](const void* source, std::int32_t length, std::uint32_t flags,
                          MemoryHandle* info) {
    return archive::GetArchiveInfo(SystemPlatform(), source, length, flags, info);
  };
  api.GetFileInfo = [](const void* source, std::int32_t length, const char* name,
                       std::uint32_t flags, ArchiveMemberRecord* record) {
    return archive::GetFileInfo(SystemPlatform(), source, length, name, flags, record);
  };
  api.GetFile = [](const void* source, std::int32_t position, void* dest, std::uint32_t flags,
                   ProgressCallback progress, std::intptr_t user_data) {
    return archive::GetFile(SystemPlatform(), source, position, dest, flags, progress, user_data);
  };
  return api;
}

}  // namespace

#endif

const PictureApi& Picture() {
  static const PictureApi api = LoadPicture();
  return api;
}

const ArchiveApi& Archive() {
  static const ArchiveApi api = LoadArchive();
  return api;
}
