// This file contains the result blocks: the movable local-memory blocks that
// outlive a call and pass to the host, which frees them. A block is allocated
// and locked, filled through the locked pointer, then either handed over
// (unlocked once; its handle stays in the host's slot) or, after any failure,
// released, so that the host never receives a half-filled block.
#pragma once

#include <cstdint>

#include "support/host_contract.h"
#include "support/input_source.h"
#include "support/platform.h"

// Allocates a movable block of `size` bytes into *slot and locks it into
// *pointer_out; failures are recorded in `input`, the call's error channel.
// On failure records NoMemory (allocation) or MemoryError (locking; always so
// for size 0), and leaves both null. A `zeroed` block holds zeros from the
// start (LMEM_ZEROINIT): the system supplies a large one as fresh pages, so
// a part the caller never writes costs neither time nor memory.
bool AllocResultBlock(InputSource& input, MemoryHandle* slot, void** pointer_out,
                      std::uint32_t size, bool zeroed = false);

// Releases a block still locked once, and sets *slot to null.
void FreeResultBlock(const Platform& os, MemoryHandle* slot);

// Hands a filled block over to the host: unlocks it once; the handle stays in
// the host's slot and the host frees the block.
void HandOverResultBlock(const Platform& os, MemoryHandle block);
