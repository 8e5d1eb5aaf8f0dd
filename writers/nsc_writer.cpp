// This file contains the NSC writer; the format is described in
// archive/member_table.h.
#include "writers/nsc_writer.h"

#include "support/byte_order.h"

bool NscTable(const std::vector<std::uint64_t>& sizes, std::vector<std::uint8_t>* table,
              std::string* error) {
  if (sizes.empty()) return *error = "an archive needs at least one member", false;
  const std::size_t count = sizes.size() < 2 ? 2 : sizes.size();
  for (std::size_t k = 0; k + 1 < count; ++k) {
    if (sizes[k] == 0)
      return *error = "member " + std::to_string(k + 1) + " is empty; only the last may be", false;
  }
  std::vector<std::uint32_t> words = {0x4643534Eu, static_cast<std::uint32_t>(4 * (count + 2))};
  std::uint64_t end = words[1];
  for (std::size_t k = 0; k < count; ++k) {
    end += k < sizes.size() ? sizes[k] : 0;
    if (end > 0xFFFFFFFFu) return *error = "the archive would exceed 4 GiB", false;
    words.push_back(static_cast<std::uint32_t>(end));
  }
  table->assign(4 * words.size(), 0);
  for (std::size_t i = 0; i < words.size(); ++i) StoreLe32(table->data() + 4 * i, words[i]);
  return true;
}

bool PackNscArchive(const std::vector<std::vector<std::uint8_t>>& members,
                    std::vector<std::uint8_t>* archive, std::string* error) {
  std::vector<std::uint64_t> sizes;
  for (const auto& member : members) sizes.push_back(member.size());
  std::vector<std::uint8_t> out;
  if (!NscTable(sizes, &out, error)) return false;
  for (const auto& member : members) out.insert(out.end(), member.begin(), member.end());
  *archive = std::move(out);
  return true;
}
