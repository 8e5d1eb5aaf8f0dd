// Fuzz target: GetFileInfo with a name taken from the input (its first
// choice % 16 bytes) and the archive from the rest, in memory or in a file,
// with any one platform call failing. The record is written only on success,
// and then names the member it was asked for.
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
  ArchiveMemberRecord record;
  std::memset(&record, 0xA5, sizeof record);
  const ArchiveMemberRecord untouched = record;
  const std::int32_t status =
      CallWithSource(data, in.choice & 0x20, "member", 0,
                     [&](const void* source, std::int32_t length, std::uint32_t kind) {
                       return archive::GetFileInfo(os, source, length, name.c_str(), kind, &record);
                     });
  CheckAccounting(plan, 0);
  if (status != Ok) {
    FUZZ_CHECK(std::memcmp(&record, &untouched, sizeof record) == 0);
    return 0;
  }
  FUZZ_CHECK(std::strtol(record.file_name, nullptr, 10) == std::strtol(name.c_str(), nullptr, 10));
  FUZZ_CHECK(record.stored_size == record.original_size && record.crc == 0);
  return 0;
}
