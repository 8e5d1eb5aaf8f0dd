// This file contains the picture plug-in's information texts.
#include "picture/picture_plugin.h"

namespace picture {
namespace {
constexpr const char* kEntries[] = {
    "00IN",
    "Orbelint - GCmpSH0 picture loader ver0.03  (c) Orbelint authors",
    "*.*",  // any name: the header decides
    "Jam/PIL CG (GCmpSH0 format)",
    nullptr,
};
}  // namespace

const PluginInfoTable kInfoTable = {kEntries};

}  // namespace picture
