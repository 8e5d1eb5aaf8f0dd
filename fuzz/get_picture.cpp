// Fuzz target: GetPicture or GetPictureW from memory or from a file, with
// any one platform call failing or a progress callback that cancels at any call. A success
// hands over a 40-byte header block and a pixel block of the padded size,
// both unlocked; a failure leaves both slots null and nothing held.
#include "fuzz/fuzz_support.h"
#include "picture/picture_plugin.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* raw, std::size_t raw_size) {
  const FuzzInput in = SplitInput(raw, raw_size);
  std::uint8_t head[16] = {};
  std::memcpy(head, in.data, in.size < 16 ? in.size : 16);
  PictureHeader header{};
  const bool valid = ParsePictureHeader(head, &header);
  // Large pictures find nothing small ones do not, only slower.
  if (valid && std::int64_t{header.width} * header.height > (1 << 20)) return 0;
  GuardedBytes data(in.data, in.size);
  FaultPlan plan = PlanFailing(in.choice & 1 ? in.word % 64 : 0);
  const Platform os = FaultyPlatform(&plan);
  Cancel cancel{in.choice & 4 ? in.word % 64 : 0xFFFFFFFFu};
  MemoryHandle info = reinterpret_cast<MemoryHandle>(1), bits = info;
  const std::int32_t status = CallWithSource(
      data, in.choice, in.choice & 2, "picture", (in.choice & 2) ? 0 : in.word >> 8,
      [&](const void* source, HostInt length, std::uint32_t kind) {
        auto decode = in.choice & kWideChoice ? picture::GetPictureW : picture::GetPicture;
        return decode(os, source, length, kind, &info, &bits, in.choice & 8 ? nullptr : CountDown,
                      reinterpret_cast<HostInt>(&cancel));
      });
  plan.fail_at = 0;  // the harness's own calls below must not fail
  if (status != Ok) {
    FUZZ_CHECK(info == nullptr && bits == nullptr);
    FUZZ_CHECK(status == Cancelled || status == UnsupportedFormat || status == BrokenData ||
               status == NoMemory || status == MemoryError || status == ReadError);
    FUZZ_CHECK(valid || status == UnsupportedFormat || plan.injected);
    CheckAccounting(plan, 0);
    return 0;
  }
  FUZZ_CHECK(valid);
  FUZZ_CHECK((in.choice & kBadLengthChoice) == 0 || (in.choice & 2) != 0);
  CheckAccounting(plan, 2);
  const std::uint32_t stride = (3u * static_cast<std::uint32_t>(header.width) + 3) & ~3u;
  const auto* bitmap = static_cast<const std::uint8_t*>(OsLocalLock(os, info));
  std::int32_t width, height;
  std::memcpy(&width, bitmap + 4, 4);
  std::memcpy(&height, bitmap + 8, 4);
  FUZZ_CHECK(width == header.width && height == header.height);
  OsLocalUnlock(os, info);
  CheckAndFreeBlock(os, info, 40);
  CheckAndFreeBlock(os, bits, stride * static_cast<std::uint32_t>(header.height));
  return 0;
}
