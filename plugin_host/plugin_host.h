// This file contains the two plug-ins as a host sees them: tables of their
// exports with the host's signatures. In the Windows build they come from
// vizuz.spi and orbelint.spi, loaded with LoadLibrary and GetProcAddress, so
// the tool and the tests drive the delivered DLLs exactly as a host does;
// natively they are the same operations, linked in, called with the
// system's platform. A 64-bit Windows program loads the 64-bit editions,
// vizuz.sph and orbelint.sph. The W exports are looked up too; a plug-in
// without them leaves those entries null, and callers fall back to the ANSI
// ones.
#pragma once

#include <cstdint>
#include <string>

#include "archive/member_table.h"
#include "picture/picture_header.h"
#include "support/host_contract.h"

using InfoFunction = std::int32_t(SPI_CALL*)(std::int32_t, char*, std::int32_t);
using InfoFunctionW = std::int32_t(SPI_CALL*)(std::int32_t, WideChar*, std::int32_t);
using GetPictureInfoFunction = std::int32_t(SPI_CALL*)(const void*, HostInt, std::uint32_t,
                                                       PictureInfoRecord*);
using GetPictureFunction = std::int32_t(SPI_CALL*)(const void*, HostInt, std::uint32_t,
                                                   MemoryHandle*, MemoryHandle*, ProgressCallback,
                                                   HostInt);
using GetArchiveInfoFunction = std::int32_t(SPI_CALL*)(const void*, HostInt, std::uint32_t,
                                                       MemoryHandle*);
using GetFileFunction = std::int32_t(SPI_CALL*)(const void*, HostInt, void*, std::uint32_t,
                                                ProgressCallback, HostInt);

struct PictureApi {
  InfoFunction GetPluginInfo;
  std::int32_t(SPI_CALL* IsSupported)(const char*, std::uintptr_t);
  GetPictureInfoFunction GetPictureInfo;
  GetPictureFunction GetPicture;
  GetPictureFunction GetPreview;
  // The wide-character exports; null where the plug-in has none.
  InfoFunctionW GetPluginInfoW;
  std::int32_t(SPI_CALL* IsSupportedW)(const WideChar*, std::uintptr_t);
  GetPictureInfoFunction GetPictureInfoW;
  GetPictureFunction GetPictureW;
  GetPictureFunction GetPreviewW;
};

struct ArchiveApi {
  InfoFunction GetPluginInfo;
  std::int32_t(SPI_CALL* IsSupported)(const char*, std::uintptr_t);
  GetArchiveInfoFunction GetArchiveInfo;
  std::int32_t(SPI_CALL* GetFileInfo)(const void*, HostInt, const char*, std::uint32_t,
                                      ArchiveMemberRecord*);
  GetFileFunction GetFile;
  // The wide-character exports; null where the plug-in has none.
  InfoFunctionW GetPluginInfoW;
  std::int32_t(SPI_CALL* IsSupportedW)(const WideChar*, std::uintptr_t);
  GetArchiveInfoFunction GetArchiveInfoW;
  std::int32_t(SPI_CALL* GetFileInfoW)(const void*, HostInt, const WideChar*, std::uint32_t,
                                       WideMemberRecord*);
  GetFileFunction GetFileW;
};

// The plug-in files a Windows program of this width loads (natively the same
// code is linked in, and named for the .spi files).
#if defined(_WIN32) && UINTPTR_MAX > 0xFFFFFFFFu
constexpr const char* kArchivePluginFile = "vizuz.sph";
constexpr const char* kPicturePluginFile = "orbelint.sph";
#else
constexpr const char* kArchivePluginFile = "vizuz.spi";
constexpr const char* kPicturePluginFile = "orbelint.spi";
#endif

struct PluginHost {
  ArchiveApi archive;
  PictureApi picture;
  // The plug-in code is linked in (the Linux build): jamcg may also use it
  // directly, reading an archive's table once rather than once per member
  // as a host must, and decoding pictures row by row.
  bool linked = false;
};

// Loads both plug-ins from `folder`, or, when it is empty, from the program's
// own folder (natively: the linked code). False with a one-line reason if a
// library or one of its exports cannot be found.
bool LoadPlugins(const std::string& folder, PluginHost* host, std::string* error);
