// This file contains the operations of the archive plug-in, vizuz. Each takes
// the platform it works through first; the library's exports pass the
// system's, tests pass one that can fail on purpose. Otherwise they are the
// host's calls exactly, with the same arguments and results.
#pragma once

#include <cstdint>

#include "support/host_contract.h"
#include "support/platform.h"
#include "support/plugin_info.h"

namespace archive {

// Kind code, name, and the NSC pattern with its description.
extern const PluginInfoTable kInfoTable;

}  // namespace archive
