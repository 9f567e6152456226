// Guarded: the one place where an exception becomes a status. Every export
// runs its body through it, so no exception ever leaves the library: callers
// are C programs and other modules that cannot catch ours.
//
// Code below the exports reports the errors it expects as statuses itself
// (the append's 1627, the reader's 8); what reaches the guard is whatever was
// not expected there, most likely exhausted memory.
#pragma once

#include <new>
#include <utility>

#include "api/status.h"

namespace qorlog::api {

// Runs `body`, which returns a status, and returns that status; when an
// exception leaves it, returns 8 for std::bad_alloc and 1627 for any other.
template <typename Body>
DWORD Guarded(Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (const std::bad_alloc&) {
    return kStatusOutOfMemory;
  } catch (...) {
    return kStatusLogError;
  }
}

}  // namespace qorlog::api
