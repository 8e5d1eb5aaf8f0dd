// This file contains the tests' view of the two plug-ins as a host sees them:
// tables of the exports with the host's signatures. In the Windows build they
// come from vizuz.spi and orbelint.spi, loaded with LoadLibrary from the test
// program's folder, so the tests exercise the delivered DLLs; natively they
// are the same operations called with the system's platform.
#pragma once

#include <cstdint>

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
  std::int32_t(SPI_CALL* GetFile)(const void*, std::int32_t, void*, std::uint32_t,
                                  ProgressCallback, std::intptr_t);
};

// The export tables; a test fails (and these abort) if a library or an
// export cannot be found.
const PictureApi& Picture();
const ArchiveApi& Archive();
