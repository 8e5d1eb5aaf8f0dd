// This file contains the two plug-ins as a host sees them: tables of their
// exports with the host's signatures. In the Windows build they come from
// vizuz.spi and orbelint.spi, loaded with LoadLibrary and GetProcAddress, so
// the tool and the tests drive the delivered DLLs exactly as a host does;
// natively they are the same operations, linked in, called with the
// system's platform.
#pragma once

#include <cstdint>
#include <string>

#include "archive/member_table.h"
#include "picture/picture_header.h"
#include "support/host_contract.h"

struct PictureApi {
  std::int32_t(SPI_CALL* GetPluginInfo)(std::int32_t, char*, std::int32_t);
  std::int32_t(SPI_CALL* IsSupported)(const char*, std::uintptr_t);
  std::int32_t(SPI_CALL* GetPictureInfo)(const void*, std::int32_t, std::uint32_t,
                                         PictureInfoRecord*);
  std::int32_t(SPI_CALL* GetPicture)(const void*, std::int32_t, std::uint32_t, MemoryHandle*,
                                     MemoryHandle*, ProgressCallback, std::intptr_t);
  std::int32_t(SPI_CALL* GetPreview)(const void*, std::int32_t, std::uint32_t, MemoryHandle*,
                                     MemoryHandle*, ProgressCallback, std::intptr_t);
};

struct ArchiveApi {
  std::int32_t(SPI_CALL* GetPluginInfo)(std::int32_t, char*, std::int32_t);
  std::int32_t(SPI_CALL* IsSupported)(const char*, std::uintptr_t);
  std::int32_t(SPI_CALL* GetArchiveInfo)(const void*, std::int32_t, std::uint32_t, MemoryHandle*);
  std::int32_t(SPI_CALL* GetFileInfo)(const void*, std::int32_t, const char*, std::uint32_t,
                                      ArchiveMemberRecord*);
  std::int32_t(SPI_CALL* GetFile)(const void*, std::int32_t, void*, std::uint32_t, ProgressCallback,
                                  std::intptr_t);
};

struct PluginHost {
  ArchiveApi archive;
  PictureApi picture;
};

// Loads both plug-ins from `folder`, or, when it is empty, from the program's
// own folder (natively: the linked code). False with a one-line reason if a
// library or one of its exports cannot be found.
bool LoadPlugins(const std::string& folder, PluginHost* host, std::string* error);

// The plug-ins of the program's own folder, loaded once; aborts with a message
// if they cannot be loaded. For tests.
const PluginHost& ProgramPlugins();
const PictureApi& Picture();
const ArchiveApi& Archive();
