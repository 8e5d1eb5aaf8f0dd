// This file contains the fault-injecting platform wrapper used by the tests.
#include "tests/platform_faults.h"

#include <algorithm>

namespace {

FaultPlan& Plan(void* context) { return *static_cast<FaultPlan*>(context); }

// Counts a call of kind `call`; true when this is one to fail: the planned
// one, or in the persistent mode any after it.
bool Strike(FaultPlan& plan, FaultCall call) {
  plan.error_pending = false;
  const std::uint32_t kind_index = ++plan.kind_calls[static_cast<int>(call)];
  if (plan.only != FaultCall::Any && plan.only != call) return false;
  ++plan.calls;
  if (plan.fail_at == 0 || plan.calls < plan.fail_at) return false;
  if (plan.calls > plan.fail_at) return plan.persistent;
  plan.injected = true;
  plan.injected_call = call;
  plan.injected_kind_index = kind_index;
  return true;
}

void Opened(FaultPlan& plan, FileHandle file) {
  plan.opened.push_back(file);
  plan.files.push_back({file, 0});
  ++plan.open_handles;
}

// Counts a release of `handle` among `released`, if the plan handed it out.
void CountRelease(std::vector<FaultPlan::Released>& released, void* handle) {
  for (auto it = released.rbegin(); it != released.rend(); ++it) {
    if (it->handle == handle) {
      ++it->times;
      return;
    }
  }
}

// True when a releasing call is to report failure: in the persistent mode,
// once the planned failure has happened.
bool ReleaseFails(FaultPlan& plan) {
  if (!plan.persistent || !plan.injected) return false;
  plan.error_pending = true;
  plan.pending_error = plan.error;
  return true;
}

// A plain failure: the call does nothing and GetLastError reports plan.error.
bool Refuse(FaultPlan& plan) {
  plan.error_pending = true;
  plan.pending_error = plan.error;
  return false;
}

FileHandle CreateFileEntry(void* context, const char* name, std::uint32_t access,
                           std::uint32_t share, std::uint32_t disposition) {
  FaultPlan& plan = Plan(context);
  if (Strike(plan, FaultCall::CreateFile)) return Refuse(plan), kInvalidHandle;
  FileHandle file = OsCreateFile(*plan.base, name, access, share, disposition);
  if (file != kInvalidHandle) Opened(plan, file);
  return file;
}

FileHandle CreateFileWideEntry(void* context, const WideChar* name, std::uint32_t access,
                               std::uint32_t share, std::uint32_t disposition) {
  FaultPlan& plan = Plan(context);
  if (Strike(plan, FaultCall::CreateFile)) return Refuse(plan), kInvalidHandle;
  FileHandle file = OsCreateFileWide(*plan.base, name, access, share, disposition);
  if (file != kInvalidHandle) Opened(plan, file);
  return file;
}

bool ReadFileEntry(void* context, FileHandle file, void* buffer, std::uint32_t count,
                   std::uint32_t* done) {
  FaultPlan& plan = Plan(context);
  if (Strike(plan, FaultCall::ReadFile)) {
    if (plan.kind == FaultKind::ShortTransfer)
      return OsReadFile(*plan.base, file, buffer, count / 2, done);
    *done = 0;
    return Refuse(plan);
  }
  bool ok = OsReadFile(*plan.base, file, buffer, count, done);
  if (ok) plan.bytes_read += *done;
  return ok;
}

bool WriteFileEntry(void* context, FileHandle file, const void* buffer, std::uint32_t count,
                    std::uint32_t* done) {
  FaultPlan& plan = Plan(context);
  if (Strike(plan, FaultCall::WriteFile)) {
    if (plan.kind == FaultKind::ShortTransfer)
      return OsWriteFile(*plan.base, file, buffer, count / 2, done);
    *done = 0;
    return Refuse(plan);
  }
  return OsWriteFile(*plan.base, file, buffer, count, done);
}

bool SetFilePointerEntry(void* context, FileHandle file, std::int64_t distance,
                         std::uint32_t method, std::uint64_t* position) {
  FaultPlan& plan = Plan(context);
  if (Strike(plan, FaultCall::SetFilePointer)) return Refuse(plan);
  return OsSetFilePointer(*plan.base, file, distance, method, position);
}

bool SetEndOfFileEntry(void* context, FileHandle file) {
  FaultPlan& plan = Plan(context);
  if (Strike(plan, FaultCall::SetEndOfFile)) return Refuse(plan);
  return OsSetEndOfFile(*plan.base, file);
}

bool CloseHandleEntry(void* context, FileHandle file) {
  FaultPlan& plan = Plan(context);
  plan.error_pending = false;
  CountRelease(plan.files, file);
  auto it = std::find(plan.opened.begin(), plan.opened.end(), file);
  bool closed = OsCloseHandle(*plan.base, file);
  if (closed && it != plan.opened.end()) {
    plan.opened.erase(it);
    --plan.open_handles;
  }
  return !ReleaseFails(plan) && closed;
}

std::uint32_t GetLastErrorEntry(void* context) {
  FaultPlan& plan = Plan(context);
  return plan.error_pending ? plan.pending_error : OsGetLastError(*plan.base);
}

MemoryHandle LocalAllocEntry(void* context, std::uint32_t flags, std::uint32_t size) {
  FaultPlan& plan = Plan(context);
  if (Strike(plan, FaultCall::LocalAlloc)) return Refuse(plan), nullptr;
  if (size > plan.largest_block) {
    plan.error_pending = true;
    plan.pending_error = kErrorNotEnoughMemory;
    return nullptr;
  }
  MemoryHandle block = OsLocalAlloc(*plan.base, flags, size);
  if (block != nullptr) {
    ++plan.live_blocks;
    plan.blocks.push_back({block, 0});
  }
  return block;
}

void* LocalLockEntry(void* context, MemoryHandle block) {
  FaultPlan& plan = Plan(context);
  if (Strike(plan, FaultCall::LocalLock)) return Refuse(plan), nullptr;
  return OsLocalLock(*plan.base, block);
}

bool LocalUnlockEntry(void* context, MemoryHandle block) {
  FaultPlan& plan = Plan(context);
  plan.error_pending = false;
  const bool unlocked = OsLocalUnlock(*plan.base, block);
  return !ReleaseFails(plan) && unlocked;
}

// LocalFree returns null on success and the block on failure.
MemoryHandle LocalFreeEntry(void* context, MemoryHandle block) {
  FaultPlan& plan = Plan(context);
  plan.error_pending = false;
  CountRelease(plan.blocks, block);
  MemoryHandle left = OsLocalFree(*plan.base, block);
  if (block != nullptr && left == nullptr) --plan.live_blocks;
  return ReleaseFails(plan) ? block : left;
}

std::uint32_t LocalSizeEntry(void* context, MemoryHandle block) {
  return OsLocalSize(*Plan(context).base, block);
}

}  // namespace

Platform FaultyPlatform(FaultPlan* plan) {
  if (plan->base == nullptr) plan->base = &SystemPlatform();
  return Platform{
      plan,
      CreateFileEntry,
      CreateFileWideEntry,
      ReadFileEntry,
      WriteFileEntry,
      SetFilePointerEntry,
      SetEndOfFileEntry,
      CloseHandleEntry,
      GetLastErrorEntry,
      LocalAllocEntry,
      LocalLockEntry,
      LocalUnlockEntry,
      LocalFreeEntry,
      LocalSizeEntry,
  };
}
