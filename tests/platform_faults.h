// This file contains a platform wrapper for tests: it forwards every call to
// another platform table, counts the calls that can fail, makes a chosen one
// of them fail with a chosen error code (or, persistently, that one and every
// call after it), and keeps account of the file handles and movable blocks
// that are still outstanding and of how often each was released, so that a
// test can fail every step of an export in turn and check that nothing leaks
// and nothing is released twice.
//
// All of its state lives in one FaultPlan per test; nothing is shared.
#pragma once

#include <cstdint>
#include <vector>

#include "support/platform.h"

// The platform calls that can fail. Releasing calls (close, unlock, free) are
// forwarded, and fail only in the persistent mode, after the planned failure;
// GetLastError and LocalSize never fail.
enum class FaultCall : std::uint8_t {
  Any,
  CreateFile,
  ReadFile,
  WriteFile,
  SetFilePointer,
  SetEndOfFile,
  LocalAlloc,
  LocalLock,
  Count,  // the number of kinds above
};

enum class FaultKind : std::uint8_t {
  Fail,           // the call does nothing and reports failure with `error`
  ShortTransfer,  // a read or write moves half the bytes and reports success
};

struct FaultPlan {
  const Platform* base = nullptr;  // the platform that does the real work
  // Which call to fail: the fail_at-th call (1-based) of kind `only`; 0 = none.
  FaultCall only = FaultCall::Any;
  std::uint32_t fail_at = 0;
  FaultKind kind = FaultKind::Fail;
  // Persistent: from the fail_at-th call on, every call fails, as on a disk
  // that has gone away or a process out of memory. Releasing calls then
  // report failure too (with `error`), though the wrapper still releases
  // what they name, so that the test process itself leaks nothing.
  bool persistent = false;
  std::uint32_t error = kErrorReadFault;
  // Blocks larger than this are refused as the system refuses what it cannot
  // supply (ERROR_NOT_ENOUGH_MEMORY), so that tests can bound memory use.
  std::uint32_t largest_block = 0xFFFFFFFFu;
  // Results.
  std::uint32_t calls = 0;                   // calls of kind `only` seen so far
  bool injected = false;                     // the planned fault happened
  FaultCall injected_call = FaultCall::Any;  // which kind of call it hit
  std::uint32_t injected_kind_index = 0;     // 1 = the first call of that kind
  bool error_pending = false;                // GetLastError reports pending_error
  std::uint32_t pending_error = 0;
  // Accounting: handles this plan opened and has not seen closed (a close of
  // any other handle, the all-bits-set one included, changes nothing), and
  // blocks allocated minus freed.
  std::int32_t open_handles = 0;
  std::vector<FileHandle> opened;
  std::int32_t live_blocks = 0;
  // Every handle this plan opened and every block it allocated, with the
  // number of times each was closed or freed (attempts, failed ones included).
  struct Released {
    void* handle;
    std::uint32_t times;
  };
  std::vector<Released> files;
  std::vector<Released> blocks;
  std::uint64_t bytes_read = 0;  // by reads that succeeded
  // Calls seen of each kind, indexed by FaultCall.
  std::uint32_t kind_calls[static_cast<int>(FaultCall::Count)] = {};
};

// A platform table that routes every call through `plan`.
Platform FaultyPlatform(FaultPlan* plan);
