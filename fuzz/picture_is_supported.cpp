// Fuzz target: the picture plug-in's IsSupported on a 2048-byte head block.
// Its answer must be the header check's, and it must hold nothing afterwards.
#include "fuzz/fuzz_support.h"
#include "picture/picture_plugin.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::uint8_t head[2048] = {};
  std::memcpy(head, data, size < sizeof head ? size : sizeof head);
  GuardedBytes probe(head, sizeof head);
  FaultPlan plan = PlanFailing(0);
  const Platform os = FaultyPlatform(&plan);
  const std::int32_t result =
      picture::IsSupported(os, "fuzz", reinterpret_cast<std::uintptr_t>(probe.data));
  PictureHeader header;
  FUZZ_CHECK(result == (ParsePictureHeader(head, &header) ? 1 : 0));
  CheckAccounting(plan, 0);
  return 0;
}
