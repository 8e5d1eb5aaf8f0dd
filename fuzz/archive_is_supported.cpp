// Fuzz target: the archive plug-in's IsSupported on a 2048-byte head block.
// A head it refuses for its header must be refused by GetArchiveInfo too.
#include "archive/archive_plugin.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::uint8_t head[2048] = {};
  std::memcpy(head, data, size < sizeof head ? size : sizeof head);
  GuardedBytes probe(head, sizeof head);
  FaultPlan plan = PlanFailing(0);
  const Platform os = FaultyPlatform(&plan);
  const std::int32_t result =
      archive::IsSupported(os, "fuzz", reinterpret_cast<std::uintptr_t>(probe.data));
  FUZZ_CHECK(result == 0 || result == 1);
  CheckAccounting(plan, 0);
  if (!TableHeaderValid(LoadLe32(head), LoadLe32(head + 4))) {
    FUZZ_CHECK(result == 0);
    MemoryHandle block = nullptr;
    FUZZ_CHECK(archive::GetArchiveInfo(os, probe.data, sizeof head, 1, &block) ==
               UnsupportedFormat);
  }
  return 0;
}
