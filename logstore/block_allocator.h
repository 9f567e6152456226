// The allocator through which the read side obtains every block that it
// hands to callers (file lists, headers, record arrays). The exported
// functions pass the library's own recording allocator; tests pass their own.
// Thread rules: whatever the allocator passed in allows.
#pragma once

#include <cstddef>

namespace qorlog::inline logstore {

// Returns a zero-filled block of `bytes` bytes (a distinct non-null block
// also for 0 bytes), or null when the memory cannot be had.
using BlockAllocator = void* (*)(std::size_t bytes);

// Gives back a block of the allocator's that the caller will never see (a
// read that failed after it took the block).
using BlockRelease = void (*)(void* block);

}  // namespace qorlog::logstore
