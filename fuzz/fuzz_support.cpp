// This file contains the shared helpers of the fuzz targets.
#include "fuzz/fuzz_support.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

FuzzInput SplitInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input{data, size, 0, 0};
  if (size < 5) return input;
  input.size = size - 5;
  input.choice = data[input.size];
  std::memcpy(&input.word, data + input.size + 1, 4);
  return input;
}

GuardedBytes::GuardedBytes(const std::uint8_t* bytes, std::size_t count) : size(count) {
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  const std::size_t pages = (count + page - 1) / page + 1;
  mapping_size = pages * page;
  mapping = mmap(nullptr, mapping_size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  FUZZ_CHECK(mapping != MAP_FAILED);
  auto* base = static_cast<std::uint8_t*>(mapping);
  FUZZ_CHECK(mprotect(base + mapping_size - page, page, PROT_NONE) == 0);
  data = base + mapping_size - page - count;
  if (count != 0) std::memcpy(data, bytes, count);
}

GuardedBytes::~GuardedBytes() { munmap(mapping, mapping_size); }

FaultPlan PlanFailing(std::uint32_t fail_at) {
  FaultPlan plan;
  plan.fail_at = fail_at;
  plan.error = kErrorReadFault;
  return plan;
}

void CheckAccounting(const FaultPlan& plan, int handed_over) {
  FUZZ_CHECK(plan.open_handles == 0);
  FUZZ_CHECK(plan.live_blocks == handed_over);
}

void CheckAndFreeBlock(const Platform& os, MemoryHandle block, std::uint32_t size) {
  FUZZ_CHECK(block != nullptr);
  FUZZ_CHECK(OsLocalSize(os, block) == size);
  FUZZ_CHECK(OsLocalLock(os, block) != nullptr);
  FUZZ_CHECK(!OsLocalUnlock(os, block));  // so it had been handed over unlocked
  FUZZ_CHECK(OsLocalFree(os, block) == nullptr);
}

std::string WriteTemporaryFile(const char* tag, const std::uint8_t* data, std::size_t size) {
  const std::string path = "/tmp/spi-fuzz-" + std::string(tag) + "-" + std::to_string(getpid());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  return path;
}

std::int32_t SPI_CALL CountDown(std::int32_t, std::int32_t, HostInt user_data) {
  auto* cancel = reinterpret_cast<Cancel*>(user_data);
  return cancel->calls++ == cancel->at ? 1 : 0;
}
