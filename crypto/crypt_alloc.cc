#include "crypto/crypt_alloc.h"

#include <atomic>
#include <cstdlib>

namespace qorlog::crypto_internal {
namespace {

std::atomic<int> g_fail_countdown{-1};

// True when injection says this allocation must fail.
bool InjectFailure() {
  int left = g_fail_countdown.load(std::memory_order_relaxed);
  if (left < 0) return false;
  g_fail_countdown.store(left - 1, std::memory_order_relaxed);
  return left == 0;
}

}  // namespace

void* CryptAllocZeroed(size_t size) {
  if (InjectFailure()) return nullptr;
  return std::calloc(size == 0 ? 1 : size, 1);
}

void CryptRelease(void* block) { std::free(block); }

void* CryptReallocate(void* block, size_t size) {
  if (InjectFailure()) return nullptr;
  return std::realloc(block, size == 0 ? 1 : size);
}

void FailAllocationAfter(int successes) {
  g_fail_countdown.store(successes, std::memory_order_relaxed);
}

bool AllocationFailurePending() {
  return g_fail_countdown.load(std::memory_order_relaxed) >= 0;
}

}  // namespace qorlog::crypto_internal
