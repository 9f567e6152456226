#include <array>
#include <mutex>
#include <vector>

#include "platform/fault_point.h"

namespace qorlog::platform::fault {

namespace internal {
std::atomic<bool> g_armed{false};
}  // namespace internal

namespace {

struct Entry {
  Call call;
  unsigned nth;
  Outcome outcome;
};

// The one plan. Static, so that a call racing a disarm never meets freed
// memory.
struct Plan {
  std::mutex mu;
  std::vector<Entry> entries;
  std::array<unsigned, static_cast<std::size_t>(Call::kCount)> counts{};
};

Plan& ThePlan() {
  static Plan plan;
  return plan;
}

}  // namespace

Outcome internal::Consult(Call call) {
  Plan& plan = ThePlan();
  std::lock_guard lock(plan.mu);
  const unsigned n = ++plan.counts[static_cast<std::size_t>(call)];
  for (const Entry& e : plan.entries) {
    if (e.call == call && e.nth == n) return e.outcome;
  }
  return {};
}

ScopedPlan::ScopedPlan() {
  Plan& plan = ThePlan();
  {
    std::lock_guard lock(plan.mu);
    plan.entries.clear();
    plan.counts.fill(0);
  }
  internal::g_armed.store(true, std::memory_order_release);
}

ScopedPlan::~ScopedPlan() {
  internal::g_armed.store(false, std::memory_order_release);
  Plan& plan = ThePlan();
  std::lock_guard lock(plan.mu);
  plan.entries.clear();
}

ScopedPlan& ScopedPlan::Fail(Call call, unsigned nth, DWORD error) {
  Plan& plan = ThePlan();
  std::lock_guard lock(plan.mu);
  plan.entries.push_back({call, nth, Outcome{error, false, 0}});
  return *this;
}

ScopedPlan& ScopedPlan::Cut(Call call, unsigned nth, std::uint32_t bytes) {
  Plan& plan = ThePlan();
  std::lock_guard lock(plan.mu);
  plan.entries.push_back({call, nth, Outcome{0, true, bytes}});
  return *this;
}

unsigned ScopedPlan::Count(Call call) const {
  Plan& plan = ThePlan();
  std::lock_guard lock(plan.mu);
  return plan.counts[static_cast<std::size_t>(call)];
}

}  // namespace qorlog::platform::fault
