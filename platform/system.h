// Small system services: local time, sleeping, the memory readability probe
// and whether the standard streams are a terminal.
// Thread rules: any thread.
#pragma once

#include <cstddef>

#include "platform/types.h"

namespace qorlog::platform {

// The current local time with day of week and milliseconds.
SYSTEMTIME GetLocalTime();

// Suspends the calling thread for about `milliseconds`.
void SleepMilliseconds(DWORD milliseconds);

// True when `size` bytes at `p` cannot be read. Asks the kernel, so a bad
// pointer never crashes the process. A null pointer is bad; size 0 is not.
bool IsBadReadPtr(const void* p, std::size_t size);

enum class StandardStream { kInput, kOutput, kError };

// True when `stream` is a terminal (on Windows a console) that a person may
// be reading or typing at; false for files, pipes and the null device.
bool IsTerminal(StandardStream stream);

}  // namespace qorlog::platform
