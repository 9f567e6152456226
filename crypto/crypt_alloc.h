// crypt_alloc.h - the one allocator of the crypto module (zero-filled blocks
// released with CryptRelease), with a fault-injection switch for tests.
//
// Thread rules: allocation is thread-safe; the fault-injection switch is
// process-wide and meant for single-threaded tests.
#pragma once

#include <cstddef>

namespace qorlog::crypto_internal {

// A zero-filled block of `size` bytes (at least one byte is reserved, so a
// size of 0 yields a valid block); null on lack of memory.
void* CryptAllocZeroed(size_t size);
void CryptRelease(void* block);
// Grows or shrinks a block; the bytes beyond the old size are zeroed by the
// caller. Null on lack of memory (the old block stays valid).
void* CryptReallocate(void* block, size_t size);

// Test support: the allocation after `successes` further successful ones
// fails, once. A negative value switches injection off.
void FailAllocationAfter(int successes);
// True while an armed failure has not happened yet.
bool AllocationFailurePending();

}  // namespace qorlog::crypto_internal
