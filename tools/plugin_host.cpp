// This file contains the loading of the two plug-ins' export tables.
#include "tools/plugin_host.h"

#include <cstdio>
#include <cstdlib>

#include "archive/archive_plugin.h"
#include "picture/picture_plugin.h"

#ifdef _WIN32
#include <windows.h>

namespace {

// Finds one export; false (and a reason) when the library lacks it.
template <class Function>
bool Find(HMODULE library, const char* library_name, const char* name, Function* slot,
          std::string* error) {
  FARPROC found = GetProcAddress(library, name);
  if (found == nullptr) {
    *error = std::string(library_name) + " has no export " + name;
    return false;
  }
  *slot = reinterpret_cast<Function>(reinterpret_cast<void*>(found));
  return true;
}

HMODULE Load(const std::string& folder, const char* name, std::string* error) {
  const std::string path = folder.empty() ? name : folder + "\\" + name;
  HMODULE library = LoadLibraryA(path.c_str());
  if (library == nullptr)
    *error = "cannot load " + path + " (Windows error " + std::to_string(GetLastError()) + ")";
  return library;
}

}  // namespace

bool LoadPlugins(const std::string& folder, PluginHost* host, std::string* error) {
  HMODULE vizuz = Load(folder, "vizuz.spi", error);
  HMODULE orbelint = vizuz != nullptr ? Load(folder, "orbelint.spi", error) : nullptr;
  if (orbelint == nullptr) return false;
  ArchiveApi& a = host->archive;
  PictureApi& p = host->picture;
  return Find(vizuz, "vizuz.spi", "GetPluginInfo", &a.GetPluginInfo, error) &&
         Find(vizuz, "vizuz.spi", "IsSupported", &a.IsSupported, error) &&
         Find(vizuz, "vizuz.spi", "GetArchiveInfo", &a.GetArchiveInfo, error) &&
         Find(vizuz, "vizuz.spi", "GetFileInfo", &a.GetFileInfo, error) &&
         Find(vizuz, "vizuz.spi", "GetFile", &a.GetFile, error) &&
         Find(orbelint, "orbelint.spi", "GetPluginInfo", &p.GetPluginInfo, error) &&
         Find(orbelint, "orbelint.spi", "IsSupported", &p.IsSupported, error) &&
         Find(orbelint, "orbelint.spi", "GetPictureInfo", &p.GetPictureInfo, error) &&
         Find(orbelint, "orbelint.spi", "GetPicture", &p.GetPicture, error) &&
         Find(orbelint, "orbelint.spi", "GetPreview", &p.GetPreview, error);
}

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

bool LoadPlugins(const std::string&, PluginHost* host, std::string*) {
  host->archive = LoadArchive();
  host->picture = LoadPicture();
  return true;
}

#endif

namespace {

PluginHost LoadOrAbort() {
  PluginHost host{};
  std::string error;
  if (!LoadPlugins("", &host, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    std::abort();
  }
  return host;
}

}  // namespace

const PluginHost& ProgramPlugins() {
  static const PluginHost host = LoadOrAbort();
  return host;
}

const PictureApi& Picture() { return ProgramPlugins().picture; }
const ArchiveApi& Archive() { return ProgramPlugins().archive; }
