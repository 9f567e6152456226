// The record of everything the library hands to its callers: memory blocks
// (file lists, headers, record arrays) and log handles (CLogReader objects).
//
// Every block comes from AllocateHandedOut and is released only by
// TakeBackBlock; every handle is made by AdoptReader and destroyed only by
// DestroyReader. Because each is recorded, a pointer the library did not hand
// out, or already took back, is recognised and refused instead of corrupting
// memory; whatever callers never give back is released when the library is
// unloaded.
//
// Thread rules: every function may be called from any thread; the records
// are guarded by one mutex. A reader found by FindReader must not be used by
// two threads at once, nor destroyed while in use (the handle contract).
#pragma once

#include <cstddef>
#include <memory>
#include <optional>

#include "logstore/log_reader.h"

namespace qorlog::api {

// A zero-filled block of `bytes` bytes (a distinct block also for 0), or null
// when the memory cannot be had. Fits logstore's BlockAllocator.
void* AllocateHandedOut(std::size_t bytes);
// Releases a block that AllocateHandedOut handed out; false, and nothing
// released, for any other pointer.
bool TakeBackBlock(const void* block);
// The size of a block handed out and not yet taken back.
std::optional<std::size_t> HandedOutSize(const void* block);

// Records a reader and returns its handle; null when memory runs out.
void* AdoptReader(std::unique_ptr<CLogReader> reader);
// The reader behind a live handle, or null.
CLogReader* FindReader(const void* handle);
// Destroys the reader behind a live handle (closing its file); false for any
// other pointer.
bool DestroyReader(const void* handle);

}  // namespace qorlog::api
