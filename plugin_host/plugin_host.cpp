// This file contains the loading of the two plug-ins' export tables.
#include "plugin_host/plugin_host.h"

#include <cstdio>
#include <cstdlib>

#include "archive/archive_plugin.h"
#include "picture/picture_plugin.h"
#include "support/text_encoding.h"

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

// Finds an export that a plug-in may lack: the slot stays null then.
template <class Function>
void FindOptional(HMODULE library, const char* name, Function* slot) {
  FARPROC found = GetProcAddress(library, name);
  *slot = found == nullptr ? nullptr : reinterpret_cast<Function>(reinterpret_cast<void*>(found));
}

// The folder jamcg.exe lies in, as an absolute path: the plug-ins are
// loaded from there by their full path, never looked for by bare name in the
// current folder or on PATH, where anyone may have put a file of that name.
std::string ProgramFolder() {
  std::wstring path(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(length);
  path.resize(path.find_last_of(L"\\/") == std::wstring::npos ? 0 : path.find_last_of(L"\\/"));
  std::string folder;
  Utf8FromUtf16(std::u16string(path.begin(), path.end()), &folder, true);
  return folder;
}

HMODULE Load(std::string folder, const char* name, std::string* error) {
  for (char& c : folder) {
    if (c == '/') c = '\\';  // one kind of separator in what is shown
  }
  while (folder.size() > 1 && folder.back() == '\\') folder.pop_back();
  const std::string path = folder + "\\" + name;
  std::u16string wide;
  HMODULE library = nullptr;
  if (Utf16FromUtf8(path, &wide, true))
    library = LoadLibraryW(reinterpret_cast<const wchar_t*>(wide.c_str()));
  if (library != nullptr) return library;
  const DWORD code = GetLastError();
  if (code == ERROR_MOD_NOT_FOUND || code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
    *error = "cannot find " + std::string(name) + " in " + folder +
             " (the plug-ins lie beside jamcg.exe, or in the folder --plugins names)";
  } else if (code == ERROR_BAD_EXE_FORMAT) {
    *error = path + " is not a plug-in for a " + (sizeof(void*) == 8 ? "64" : "32") +
             "-bit program (this jamcg.exe is " + (sizeof(void*) == 8 ? "64" : "32") +
             "-bit; take the one beside the plug-ins of its width)";
  } else {
    *error = "cannot load " + path + " (Windows error " + std::to_string(code) + ")";
  }
  return nullptr;
}

}  // namespace

bool LoadPlugins(const std::string& chosen, PluginHost* host, std::string* error) {
  const std::string folder = chosen.empty() ? ProgramFolder() : chosen;
  HMODULE vizuz = Load(folder, kArchivePluginFile, error);
  HMODULE orbelint = vizuz != nullptr ? Load(folder, kPicturePluginFile, error) : nullptr;
  if (orbelint == nullptr) return false;
  ArchiveApi& a = host->archive;
  PictureApi& p = host->picture;
  FindOptional(vizuz, "GetPluginInfoW", &a.GetPluginInfoW);
  FindOptional(vizuz, "IsSupportedW", &a.IsSupportedW);
  FindOptional(vizuz, "GetArchiveInfoW", &a.GetArchiveInfoW);
  FindOptional(vizuz, "GetFileInfoW", &a.GetFileInfoW);
  FindOptional(vizuz, "GetFileW", &a.GetFileW);
  FindOptional(orbelint, "GetPluginInfoW", &p.GetPluginInfoW);
  FindOptional(orbelint, "IsSupportedW", &p.IsSupportedW);
  FindOptional(orbelint, "GetPictureInfoW", &p.GetPictureInfoW);
  FindOptional(orbelint, "GetPictureW", &p.GetPictureW);
  FindOptional(orbelint, "GetPreviewW", &p.GetPreviewW);
  const char* v = kArchivePluginFile;
  const char* o = kPicturePluginFile;
  return Find(vizuz, v, "GetPluginInfo", &a.GetPluginInfo, error) &&
         Find(vizuz, v, "IsSupported", &a.IsSupported, error) &&
         Find(vizuz, v, "GetArchiveInfo", &a.GetArchiveInfo, error) &&
         Find(vizuz, v, "GetFileInfo", &a.GetFileInfo, error) &&
         Find(vizuz, v, "GetFile", &a.GetFile, error) &&
         Find(orbelint, o, "GetPluginInfo", &p.GetPluginInfo, error) &&
         Find(orbelint, o, "IsSupported", &p.IsSupported, error) &&
         Find(orbelint, o, "GetPictureInfo", &p.GetPictureInfo, error) &&
         Find(orbelint, o, "GetPicture", &p.GetPicture, error) &&
         Find(orbelint, o, "GetPreview", &p.GetPreview, error);
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
  api.GetPictureInfo = [](const void* source, HostInt length, std::uint32_t flags,
                          PictureInfoRecord* record) {
    return picture::GetPictureInfo(SystemPlatform(), source, length, flags, record);
  };
  api.GetPicture = [](const void* source, HostInt length, std::uint32_t flags, MemoryHandle* info,
                      MemoryHandle* bits, ProgressCallback progress, HostInt user_data) {
    return picture::GetPicture(SystemPlatform(), source, length, flags, info, bits, progress,
                               user_data);
  };
  api.GetPreview = picture::GetPreview;
  api.GetPluginInfoW = [](std::int32_t number, WideChar* buffer, std::int32_t length) {
    return GetPluginInfoW(picture::kInfoTable, number, buffer, length);
  };
  api.IsSupportedW = [](const WideChar*, std::uintptr_t probe) {
    return picture::IsSupported(SystemPlatform(), nullptr, probe);
  };
  api.GetPictureInfoW = [](const void* source, HostInt length, std::uint32_t flags,
                           PictureInfoRecord* record) {
    return picture::GetPictureInfoW(SystemPlatform(), source, length, flags, record);
  };
  api.GetPictureW = [](const void* source, HostInt length, std::uint32_t flags, MemoryHandle* info,
                       MemoryHandle* bits, ProgressCallback progress, HostInt user_data) {
    return picture::GetPictureW(SystemPlatform(), source, length, flags, info, bits, progress,
                                user_data);
  };
  api.GetPreviewW = picture::GetPreview;
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
  api.GetArchiveInfo = [](const void* source, HostInt length, std::uint32_t flags,
                          MemoryHandle* info) {
    return archive::GetArchiveInfo(SystemPlatform(), source, length, flags, info);
  };
  api.GetFileInfo = [](const void* source, HostInt length, const char* name, std::uint32_t flags,
                       ArchiveMemberRecord* record) {
    return archive::GetFileInfo(SystemPlatform(), source, length, name, flags, record);
  };
  api.GetFile = [](const void* source, HostInt position, void* dest, std::uint32_t flags,
                   ProgressCallback progress, HostInt user_data) {
    return archive::GetFile(SystemPlatform(), source, position, dest, flags, progress, user_data);
  };
  api.GetPluginInfoW = [](std::int32_t number, WideChar* buffer, std::int32_t length) {
    return GetPluginInfoW(archive::kInfoTable, number, buffer, length);
  };
  api.IsSupportedW = [](const WideChar*, std::uintptr_t probe) {
    return archive::IsSupported(SystemPlatform(), nullptr, probe);
  };
  api.GetArchiveInfoW = [](const void* source, HostInt length, std::uint32_t flags,
                           MemoryHandle* info) {
    return archive::GetArchiveInfoW(SystemPlatform(), source, length, flags, info);
  };
  api.GetFileInfoW = [](const void* source, HostInt length, const WideChar* name,
                        std::uint32_t flags, WideMemberRecord* record) {
    return archive::GetFileInfoW(SystemPlatform(), source, length, name, flags, record);
  };
  api.GetFileW = [](const void* source, HostInt position, void* dest, std::uint32_t flags,
                    ProgressCallback progress, HostInt user_data) {
    return archive::GetFileW(SystemPlatform(), source, position, dest, flags, progress, user_data);
  };
  return api;
}

}  // namespace

bool LoadPlugins(const std::string&, PluginHost* host, std::string*) {
  host->archive = LoadArchive();
  host->picture = LoadPicture();
  host->linked = true;
  return true;
}

#endif
