// This file contains the exports of vizuz.spi: each is the host's call,
// forwarded to the archive plug-in's operation with the system's platform.
#include "archive/archive_plugin.h"

extern "C" {

std::int32_t SPI_CALL GetPluginInfo(std::int32_t info_number, char* buffer,
                                    std::int32_t buffer_length) {
  return GetPluginInfo(archive::kInfoTable, info_number, buffer, buffer_length);
}

}  // extern "C"
