// Fuzz target: GetArchiveInfo or GetArchiveInfoW from memory or from a file,
// with any one platform call failing. A success hands over an unlocked block
// of N - 1 records whose list ends in an end record; a failure holds nothing
// and leaves the slot null.
#include "archive/archive_plugin.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* raw, std::size_t raw_size) {
  const FuzzInput in = SplitInput(raw, raw_size);
  GuardedBytes data(in.data, in.size);
  FaultPlan plan = PlanFailing(in.choice & 1 ? in.word % 16 : 0);
  plan.largest_block = 8u << 20;
  const Platform os = FaultyPlatform(&plan);
  MemoryHandle block = reinterpret_cast<MemoryHandle>(1);
  const bool wide = (in.choice & kWideChoice) != 0;
  const std::int32_t status =
      CallWithSource(data, in.choice, in.choice & 2, "list", (in.choice & 2) ? 0 : in.word >> 8,
                     [&](const void* source, HostInt length, std::uint32_t kind) {
                       return wide ? archive::GetArchiveInfoW(os, source, length, kind, &block)
                                   : archive::GetArchiveInfo(os, source, length, kind, &block);
                     });
  plan.fail_at = 0;  // the harness's own calls below must not fail
  if (status != Ok) {
    FUZZ_CHECK(block == nullptr);
    FUZZ_CHECK(status == UnsupportedFormat || status == NoMemory || status == MemoryError ||
               status == ReadError);
    CheckAccounting(plan, 0);
    return 0;
  }
  CheckAccounting(plan, 1);
  FUZZ_CHECK((in.choice & kBadLengthChoice) == 0 || (in.choice & 2) != 0);  // an empty block
  std::uint8_t first8[8] = {};
  std::memcpy(first8, in.data, in.size < 8 ? in.size : 8);
  const std::uint32_t words = LoadLe32(first8 + 4) / 4;
  const std::uint32_t size = (words - 1) * (wide ? kWideMemberRecordSize : kMemberRecordSize);
  FUZZ_CHECK(OsLocalSize(os, block) == size);
  const void* locked = OsLocalLock(os, block);
  std::uint32_t i = 0;
  if (wide) {
    const auto* records = static_cast<const WideMemberRecord*>(locked);
    while (i < words - 1 && records[i].method[0] != '\0') {
      FUZZ_CHECK(records[i].stored_size > 1);
      FUZZ_CHECK(std::char_traits<char16_t>::find(records[i].file_name, 200, 0) != nullptr);
      ++i;
    }
  } else {
    const auto* records = static_cast<const ArchiveMemberRecord*>(locked);
    while (i < words - 1 && records[i].method[0] != '\0') {
      FUZZ_CHECK(records[i].stored_size > 1);
      FUZZ_CHECK(std::memchr(records[i].file_name, 0, sizeof records[i].file_name) != nullptr);
      ++i;
    }
  }
  FUZZ_CHECK(i < words - 1);  // the end record lies inside the block
  OsLocalUnlock(os, block);
  CheckAndFreeBlock(os, block, size);
  return 0;
}
