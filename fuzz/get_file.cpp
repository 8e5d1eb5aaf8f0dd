// Fuzz target: GetFile or GetFileW from memory (with a real or an impossible
// length), or from a file at a position taken from the input, to memory or
// into a folder, with any one platform call failing
// or a progress callback that cancels at any call. A member handed over holds
// the archive's bytes from its position on (zeros past the end); a failure
// holds nothing and leaves no output file.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "archive/archive_plugin.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* raw, std::size_t raw_size) {
  namespace fs = std::filesystem;
  const FuzzInput in = SplitInput(raw, raw_size);
  GuardedBytes data(in.data, in.size);
  FaultPlan plan = PlanFailing(in.choice & 1 ? (in.word >> 16) % 16 : 0);
  plan.largest_block = 1u << 20;  // larger members find nothing new, only slower
  const Platform os = FaultyPlatform(&plan);
  Cancel cancel{in.choice & 4 ? (in.word >> 16) % 40 : 0xFFFFFFFFu};
  const bool from_file = (in.choice & 2) != 0;
  const bool to_memory = (in.choice & 8) != 0;
  const std::uint32_t position = from_file ? in.word & 0xFFFF : 0;
  const std::string folder = "/tmp/spi-fuzz-out-" + std::to_string(getpid());
  fs::create_directories(folder);
  MemoryHandle block = nullptr;
  const bool wide = (in.choice & kWideChoice) != 0;
  std::u16string wide_folder(folder.begin(), folder.end());  // ASCII
  void* dest = to_memory ? static_cast<void*>(&block)
               : wide    ? static_cast<void*>(wide_folder.data())
                         : static_cast<void*>(const_cast<char*>(folder.c_str()));
  const std::uint32_t output = to_memory ? 0x100 : 0;
  const std::int32_t status = CallWithSource(
      data, in.choice, from_file, "archive", from_file ? position : in.word,
      [&](const void* source, HostInt length, std::uint32_t kind) {
        auto extract = wide ? archive::GetFileW : archive::GetFile;
        return extract(os, source, length, dest, output | kind,
                       in.choice & 16 ? nullptr : CountDown, reinterpret_cast<HostInt>(&cancel));
      });
  plan.fail_at = 0;  // the harness's own calls below must not fail
  std::size_t files = 0;
  std::vector<std::uint8_t> written;
  for (const auto& entry : fs::directory_iterator(folder)) {
    ++files;
    std::ifstream file(entry.path(), std::ios::binary);
    written.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }
  fs::remove_all(folder);
  // The member's bytes are the archive's from its position on, zeros past the end.
  auto member_byte = [&](std::size_t i) {
    const std::size_t at = std::size_t{position} + i;
    return at < in.size ? in.data[at] : std::uint8_t{0};
  };
  if (status != Ok || !to_memory) CheckAccounting(plan, 0);
  const bool impossible = !from_file && (in.choice & kBadLengthChoice) != 0;
  if (impossible) {
    // An empty block: its 0-byte result block cannot be locked (or, when the
    // allocation itself was failed, not even allocated), before any progress.
    FUZZ_CHECK(status == MemoryError || (plan.injected && status == NoMemory));
    FUZZ_CHECK(cancel.calls == 0);
  }
  if (status != Ok) {
    FUZZ_CHECK(block == nullptr);
    FUZZ_CHECK(files == 0 || written.empty());  // never a partly written member
    return 0;
  }
  if (!to_memory) {
    FUZZ_CHECK(files == 1 && !written.empty());
    for (std::size_t i = 0; i < written.size(); ++i) FUZZ_CHECK(written[i] == member_byte(i));
    return 0;
  }
  CheckAccounting(plan, 1);
  const auto* bytes = static_cast<const std::uint8_t*>(OsLocalLock(os, block));
  const std::uint32_t size = OsLocalSize(os, block);
  for (std::uint32_t i = 0; i < size; ++i) FUZZ_CHECK(bytes[i] == member_byte(i));
  OsLocalUnlock(os, block);
  CheckAndFreeBlock(os, block, size);
  return 0;
}
