// The backends' side of fault injection (see platform/fault_injection.h):
// each call that can fail first asks Check(), which costs one relaxed load
// and a branch while no plan is armed. Internal to the platform.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/fault_injection.h"

namespace qorlog::platform::fault {

// What the plan says about one call: proceed, fail with `error`, or move at
// most `limit` bytes.
struct Outcome {
  DWORD error = 0;
  bool cut = false;
  std::uint32_t limit = 0;
};

namespace internal {
extern std::atomic<bool> g_armed;
Outcome Consult(Call call);
}  // namespace internal

inline Outcome Check(Call call) {
  if (!internal::g_armed.load(std::memory_order_relaxed)) [[likely]] return {};
  return internal::Consult(call);
}

}  // namespace qorlog::platform::fault
