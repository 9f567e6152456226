// The machine's time zone: how far a local time lies from UTC.
// Thread rules: any thread; follows TZ as the C library reads it.
#pragma once

#include "platform/types.h"

namespace qorlog::platform {

// Stores in *minutes the offset from UTC (east positive, +60 for CET) that the
// machine's time zone gives for the local time `local`, and returns true.
// A local time that occurs twice (the hour repeated when summer time ends)
// takes the earlier, summer offset; one skipped when summer time begins takes
// the offset from before the change. False for an impossible date or time.
bool LocalTimeOffset(const SYSTEMTIME& local, int* minutes);

}  // namespace qorlog::platform
