// Fuzz target: GetPictureInfo or GetPictureInfoW from memory or from a file,
// with any one platform call failing. A success reports the header's fields; a failure
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
  const std::int32_t status = CallWithSource(
      data, in.choice, in.choice & 2, "info", (in.choice & 2) ? 0 : in.word >> 8,
      [&](const void* source, HostInt length, std::uint32_t kind) {
        return in.choice & kWideChoice ? picture::GetPictureInfoW(os, source, length, kind, &record)
                                       : picture::GetPictureInfo(os, source, length, kind, &record);
      });
  CheckAccounting(plan, 0);
  std::uint8_t head[16] = {};
  std::memcpy(head, in.data, in.size < 16 ? in.size : 16);
  PictureHeader header;
  if (status == Ok) {
    FUZZ_CHECK((in.choice & kBadLengthChoice) == 0 || (in.choice & 2) != 0);
    FUZZ_CHECK(ParsePictureHeader(head, &header));
    FUZZ_CHECK(record.width == header.width && record.height == header.height);
    FUZZ_CHECK(record.color_depth == 24 && record.left == 0 && record.info_handle == 0);
  } else {
    FUZZ_CHECK(status == UnsupportedFormat || status == ReadError);
    FUZZ_CHECK(std::memcmp(&record, &untouched, sizeof record) == 0);
    const bool empty_block = (in.choice & kBadLengthChoice) != 0 && (in.choice & 2) == 0;
    if (!plan.injected && !empty_block) FUZZ_CHECK(!ParsePictureHeader(head, &header));
  }
  return 0;
}
