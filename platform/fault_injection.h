// Fault injection for tests: make the Nth call of a kind that the platform
// backend makes fail with a chosen system error code, or transfer fewer
// bytes than asked, so that the failure paths of the code above (a record
// write cut off by a full disk, a header that cannot be written, a close
// that fails, a reader meeting a file that ends inside a record) can be
// tested without filling a disk or lowering resource limits.
//
// Every backend consults the same plan at each of these calls, before it
// asks the system. With no plan armed a call costs one load of an atomic
// flag and a branch that is never taken.
//
// Calls are counted per kind from the moment the plan is armed, in all
// threads of the process (a forked child inherits the plan and its counts).
// What counts as one call of each kind:
//   kOpen         opening a file, a named object or a mutex file
//   kRead         one read of a file (File::Read may make several)
//   kWrite        one write of a file (File::Write may make several)
//   kSetLength    setting a file's length
//   kClose        closing an owned handle
//   kRename       renaming (moving) a file
//   kDelete       deleting a file
//   kCreateFolder creating one folder
//   kLock         one step of the share-mode emulation or its guard (check,
//                 take, release), so a failure there looks like the step's
//
// Thread rules: arm and disarm a plan while no other thread makes platform
// calls; while armed, calls may come from any thread.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace qorlog::platform::fault {

enum class Call : unsigned {
  kOpen,
  kRead,
  kWrite,
  kSetLength,
  kClose,
  kRename,
  kDelete,
  kCreateFolder,
  kLock,
  kCount,
};

// The plan of faults; armed while the object lives. One at a time.
class ScopedPlan {
 public:
  ScopedPlan();
  ~ScopedPlan();
  ScopedPlan(const ScopedPlan&) = delete;
  ScopedPlan& operator=(const ScopedPlan&) = delete;

  // The `nth` call of `call` (1 is the next one) fails with `error`, a
  // system error code such as 112 (disk full) or 5 (access denied); it does
  // nothing. A backend that has no native error for `error` fails with 31.
  ScopedPlan& Fail(Call call, unsigned nth, DWORD error);
  // The `nth` read or write moves at most `bytes` bytes, as a system call
  // may: a read of 0 bytes is what the end of the file looks like, a write
  // of fewer bytes leaves the rest to the next write.
  ScopedPlan& Cut(Call call, unsigned nth, std::uint32_t bytes);
  // How many calls of `call` were made since the plan was armed.
  unsigned Count(Call call) const;
};

}  // namespace qorlog::platform::fault
