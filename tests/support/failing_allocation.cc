// The global allocation functions of a test program, over malloc and free,
// with a per-thread countdown to one failing allocation. The shared library
// has no operator new of its own: the dynamic linker binds its calls to this
// program's, which comes first in the lookup order.
#include "tests/support/failing_allocation.h"

#include <cstdlib>
#include <new>

namespace {

thread_local long t_countdown = 0;  // 0: nothing armed
thread_local bool t_failed = false;

bool ThisAllocationFails() {
  if (t_countdown == 0 || --t_countdown != 0) return false;
  t_failed = true;
  return true;
}

}  // namespace

namespace qorlog::testing {

void FailAllocation(long n) {
  t_countdown = n;
  t_failed = false;
}

bool AllocationFailed() { return t_failed; }

}  // namespace qorlog::testing

void* operator new(std::size_t size) {
  void* p = ThisAllocationFails() ? nullptr : std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

void* operator new[](std::size_t size) { return ::operator new(size); }

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return ThisAllocationFails() ? nullptr : std::malloc(size == 0 ? 1 : size);
}

void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return ::operator new(size, tag); }

void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
