// Conversion of a calendar time (SYSTEMTIME) to a file time: the count of
// 100-nanosecond intervals since 1601-01-01 00:00, the unit in which times
// are compared. No time zone is applied: a local time converts to a local
// file time, so two local times compare as wall-clock times.
// Pure functions, safe from any thread.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace qorlog::platform {

inline constexpr int64_t kFileTimeTicksPerSecond = 10'000'000;

// Stores the file time of `time` in *file_time and returns true. Returns
// false for an impossible date or time: year outside 1601..30827, month
// outside 1..12, a day the month does not have, hour above 23, minute or
// second above 59, milliseconds above 999. The day of week is ignored.
bool SystemTimeToFileTime(const SYSTEMTIME& time, int64_t* file_time);

}  // namespace qorlog::platform
