#include "platform/time_zone.h"

#include <ctime>

#include "platform/file_time.h"

namespace qorlog::platform {

bool LocalTimeOffset(const SYSTEMTIME& local, int* minutes) {
  std::int64_t ignored = 0;
  if (!SystemTimeToFileTime(local, &ignored)) return false;
  // mktime resolves the wall-clock time in the zone (tm_isdst -1: let it
  // decide); localtime_r of the result gives the offset in force then. The
  // offset is taken whole, not as the difference of the two, so a skipped
  // local time still gets a real offset of the zone.
  std::tm tm = {};
  tm.tm_year = local.wYear - 1900;
  tm.tm_mon = local.wMonth - 1;
  tm.tm_mday = local.wDay;
  tm.tm_hour = local.wHour;
  tm.tm_min = local.wMinute;
  tm.tm_sec = local.wSecond;
  tm.tm_isdst = -1;
  const std::time_t t = std::mktime(&tm);
  std::tm resolved = {};
  if (t == static_cast<std::time_t>(-1)) return false;  // outside what time_t holds
  if (::localtime_r(&t, &resolved) == nullptr) return false;
  *minutes = static_cast<int>(resolved.tm_gmtoff / 60);
  return true;
}

}  // namespace qorlog::platform
