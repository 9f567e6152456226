#include "api/handed_out.h"

#include <mutex>
#include <new>
#include <unordered_map>

namespace qorlog::api {

namespace {

struct Block {
  std::unique_ptr<std::byte[]> memory;
  std::size_t size = 0;
};

// Built on first use and destroyed at unload, after every caller is done.
struct Records {
  std::mutex mutex;
  std::unordered_map<const void*, Block> blocks;
  std::unordered_map<const void*, std::unique_ptr<CLogReader>> readers;
};

Records& Get() {
  static Records records;
  return records;
}

}  // namespace

void* AllocateHandedOut(std::size_t bytes) {
  try {
    // One byte at least, so that even an empty list has an address of its own.
    Block block{std::unique_ptr<std::byte[]>(new (std::nothrow) std::byte[bytes == 0 ? 1 : bytes]()), bytes};
    if (block.memory == nullptr) return nullptr;
    void* address = block.memory.get();
    Records& r = Get();
    std::lock_guard lock(r.mutex);
    r.blocks.emplace(address, std::move(block));
    return address;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

bool TakeBackBlock(const void* block) {
  if (block == nullptr) return false;
  Block taken;
  {
    Records& r = Get();
    std::lock_guard lock(r.mutex);
    auto it = r.blocks.find(block);
    if (it == r.blocks.end()) return false;
    taken = std::move(it->second);
    r.blocks.erase(it);
  }
  return true;  // `taken` releases the memory outside the lock
}

std::optional<std::size_t> HandedOutSize(const void* block) {
  Records& r = Get();
  std::lock_guard lock(r.mutex);
  auto it = r.blocks.find(block);
  if (it == r.blocks.end()) return std::nullopt;
  return it->second.size;
}

void* AdoptReader(std::unique_ptr<CLogReader> reader) {
  if (reader == nullptr) return nullptr;
  try {
    void* handle = reader.get();
    Records& r = Get();
    std::lock_guard lock(r.mutex);
    r.readers.emplace(handle, std::move(reader));
    return handle;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

CLogReader* FindReader(const void* handle) {
  if (handle == nullptr) return nullptr;
  Records& r = Get();
  std::lock_guard lock(r.mutex);
  auto it = r.readers.find(handle);
  return it == r.readers.end() ? nullptr : it->second.get();
}

bool DestroyReader(const void* handle) {
  if (handle == nullptr) return false;
  std::unique_ptr<CLogReader> taken;
  {
    Records& r = Get();
    std::lock_guard lock(r.mutex);
    auto it = r.readers.find(handle);
    if (it == r.readers.end()) return false;
    taken = std::move(it->second);
    r.readers.erase(it);
  }
  return true;  // the reader closes its file as `taken` goes
}

}  // namespace qorlog::api
