// Fuzz target: GetPictureInfo from memory or from a file, with any one
// platform call failing. A success reports the header's fields; a failure
// leaves the host's record untouched.
#include "fuzz/fuzz_support.h"
#include "picture/picture_plugin.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* raw, std::size_t raw_size) {
  const FuzzInput in = SplitInput(raw, raw_size);
  GuardedBytes data(in.data, in.size);
  FaultPlan plan = PlanFailing(in.choice & 1 ? in.word % 8 : 0);
  const Platform os = FaultyPlatform(&plan);
  PictureInfoRecord record;
  std::memset(&record, 0xA5, sizeof record);
  const PictureInfoRecord untouched = record;
  const std::int32_t status =
      CallWithSource(data, in.choice & 2, "info", 0,
                     [&](const void* source, std::int32_t length, std::uint32_t kind) {
                       return picture::GetPictureInfo(os, source, length, kind, &record);
                     });
  CheckAccounting(plan, 0);
  std::uint8_t head[16] = {};
  std::memcpy(head, in.data, in.size < 16 ? in.size : 16);
  PictureHeader header;
  if (status == Ok) {
    FUZZ_CHECK(ParsePictureHeader(head, &header));
    FUZZ_CHECK(record.width == header.width && record.height == header.height);
    FUZZ_CHECK(record.color_depth == 24 && record.left == 0 && record.info_handle == 0);
  } else {
    FUZZ_CHECK(status == UnsupportedFormat || status == ReadError);
    FUZZ_CHECK(std::memcmp(&record, &untouched, sizeof record) == 0);
    if (!plan.injected) FUZZ_CHECK(!ParsePictureHeader(head, &header));
  }
  return 0;
}
