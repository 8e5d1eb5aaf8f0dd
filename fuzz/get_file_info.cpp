// Fuzz target: GetFileInfo or GetFileInfoW with a name taken from the input
// (its first choice % 16 bytes, each widened to a UTF-16 unit for the W
// export, so that units beyond ASCII occur) and the archive from the rest, in
// memory or in a file, with any one platform call failing. The record is
// written only on success, and then names the member it was asked for.
#include <cstdlib>

#include "archive/archive_plugin.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* raw, std::size_t raw_size) {
  const FuzzInput in = SplitInput(raw, raw_size);
  const std::size_t name_length = in.choice % 16 < in.size ? in.choice % 16 : in.size;
  const std::string name(reinterpret_cast<const char*>(in.data), name_length);
  GuardedBytes data(in.data + name_length, in.size - name_length);
  FaultPlan plan = PlanFailing(in.choice & 0x10 ? in.word % 16 : 0);
  plan.largest_block = 8u << 20;
  const Platform os = FaultyPlatform(&plan);
  const bool wide = (in.choice & kWideChoice) != 0;
  // Pairs of bytes make one unit, so that fullwidth digits and the like occur.
  std::u16string wide_name;
  for (std::size_t i = 0; i < name_length; i += 2)
    wide_name.push_back(static_cast<char16_t>(
        static_cast<std::uint8_t>(name[i]) |
        (i + 1 < name_length ? static_cast<std::uint8_t>(name[i + 1]) << 8 : 0)));
  ArchiveMemberRecord record;
  WideMemberRecord wide_record;
  std::memset(&record, 0xA5, sizeof record);
  std::memset(&wide_record, 0xA5, sizeof wide_record);
  const ArchiveMemberRecord untouched = record;
  const WideMemberRecord wide_untouched = wide_record;
  const std::int32_t status = CallWithSource(
      data, in.choice, in.choice & 0x20, "member", (in.choice & 0x20) ? 0 : in.word >> 8,
      [&](const void* source, HostInt length, std::uint32_t kind) {
        return wide ? archive::GetFileInfoW(os, source, length, wide_name.c_str(), kind,
                                            &wide_record)
                    : archive::GetFileInfo(os, source, length, name.c_str(), kind, &record);
      });
  CheckAccounting(plan, 0);
  if (status != Ok) {
    FUZZ_CHECK(std::memcmp(&record, &untouched, sizeof record) == 0);
    FUZZ_CHECK(std::memcmp(&wide_record, &wide_untouched, sizeof wide_record) == 0);
    return 0;
  }
  FUZZ_CHECK((in.choice & kBadLengthChoice) == 0 || (in.choice & 0x20) != 0);
  if (wide) {
    // Only ASCII names a member: the name narrowed is what the ANSI export parses.
    std::string narrow;
    for (char16_t unit : wide_name) {
      if (unit == 0) break;
      FUZZ_CHECK(unit < 0x80);
      narrow.push_back(static_cast<char>(unit));
    }
    std::string reported;
    for (std::size_t i = 0; i < 200 && wide_record.file_name[i] != 0; ++i)
      reported.push_back(static_cast<char>(wide_record.file_name[i]));
    FUZZ_CHECK(std::strtol(reported.c_str(), nullptr, 10) ==
               std::strtol(narrow.c_str(), nullptr, 10));
    FUZZ_CHECK(wide_record.stored_size == wide_record.original_size && wide_record.crc == 0);
    return 0;
  }
  FUZZ_CHECK(std::strtol(record.file_name, nullptr, 10) == std::strtol(name.c_str(), nullptr, 10));
  FUZZ_CHECK(record.stored_size == record.original_size && record.crc == 0);
  return 0;
}
