// Small system services: local time, the memory readability probe, and the
// folders where named objects of the user's session and of the machine live.
// Thread rules: any thread.
#pragma once

#include <cstddef>
#include <string>

#include "platform/types.h"

namespace qorlog::platform {

// The current local time with day of week and milliseconds.
SYSTEMTIME GetLocalTime();

// Suspends the calling thread for about `milliseconds`.
void SleepMilliseconds(DWORD milliseconds);

// True when `size` bytes at `p` cannot be read. Asks the kernel, so a bad
// pointer never crashes the process. A null pointer is bad; size 0 is not.
bool IsBadReadPtr(const void* p, std::size_t size);

// The folder of the user's session objects: $XDG_RUNTIME_DIR/qorlog, else
// /run/user/<uid>/qorlog when /run/user/<uid> exists and belongs to the user,
// else /tmp/qorlog-<uid>. Created with mode 0700 and checked to belong to the
// user; an empty string when that fails.
std::string SessionFolder();

// The folder of machine-wide objects (names that begin with "Global\"):
// $QORLOG_GLOBAL_DIR when set, else /tmp/qorlog-global; created
// world-writable and sticky.
std::string MachineFolder();

}  // namespace qorlog::platform
