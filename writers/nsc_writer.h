// This file contains the NSC writer: it packs byte strings into an NSC
// archive that the archive plug-in lists and extracts. It is the project's own
// tool for tests, benchmarks, fuzz seeds and the command-line packer; the
// plug-ins do not use it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Packs `members` in order into `archive`. An archive has at least two
// members, so a single member is followed by an empty one (which listings
// leave out). Every member but the last must have at least one byte, because
// the boundaries before the last must increase (so a single member, being
// followed by the empty one, must have one too). False, with a reason in
// *error and `archive` untouched, for no members, an empty member before the
// last, or a total beyond 4 GiB.
bool PackNscArchive(const std::vector<std::vector<std::uint8_t>>& members,
                    std::vector<std::uint8_t>* archive, std::string* error);

// The member table of an archive whose members have these sizes, under the
// same rules; the members' bytes follow it in order.
bool NscTable(const std::vector<std::uint64_t>& sizes, std::vector<std::uint8_t>* table,
              std::string* error);
