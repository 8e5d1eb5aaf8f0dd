// This file contains the archive plug-in's information texts.
#include "archive/archive_plugin.h"

namespace archive {
namespace {
constexpr const char* kEntries[] = {
    "00AM",  "Vizuz - NSC archive extractor  ver0.03  (c) Vizuz authors",
    "*.nsc", "Jam/PIL CG Archive (*.NSC)",
    nullptr,
};
}  // namespace

const PluginInfoTable kInfoTable = {kEntries};

}  // namespace archive
