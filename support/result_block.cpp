// This file contains the result blocks.
#include "support/result_block.h"

bool AllocResultBlock(InputSource& input, MemoryHandle* slot, void** pointer_out,
                      std::uint32_t size, bool zeroed) {
  *slot = nullptr;
  *pointer_out = nullptr;
  *slot = OsLocalAlloc(*input.os, kLocalMoveable | (zeroed ? kLocalZeroInit : 0), size);
  if (*slot == nullptr) {
    RecordOsFailure(input, NoMemory);
    return false;
  }
  // A movable block of 0 bytes is created discarded: locking it fails here.
  *pointer_out = OsLocalLock(*input.os, *slot);
  if (*pointer_out == nullptr) {
    RecordOsFailure(input, MemoryError);
    OsLocalFree(*input.os, *slot);
    *slot = nullptr;
    return false;
  }
  return true;
}

void FreeResultBlock(const Platform& os, MemoryHandle* slot) {
  OsLocalUnlock(os, *slot);
  OsLocalFree(os, *slot);
  *slot = nullptr;
}

void HandOverResultBlock(const Platform& os, MemoryHandle block) { OsLocalUnlock(os, block); }
