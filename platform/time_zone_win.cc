// The machine's time zone on Windows: the rules of GetTimeZoneInformationForYear
// (the standard and daylight biases and the two changes of the year), applied
// here rather than through TzSpecificLocalTimeToSystemTime, because the
// system's choice for the repeated and the skipped hour is not the one
// time_zone.h promises:
//
//   summer begins at S (standard local time), clocks jump by D = the
//   difference of the two biases:    [S, S+D) never happens: standard offset
//   summer ends at E (summer local time), clocks go back by D:
//                                    [E-D, E) happens twice: summer offset
//
// A change is given either as a fixed date (wYear set) or as "the Nth given
// weekday of the month" (wYear 0, wDay 1..5, where 5 is the last).
#include <windows.h>

#include "platform/file_time.h"
#include "platform/time_zone.h"

namespace qorlog::platform {

namespace {

constexpr std::int64_t kTicksPerMinute = 60 * kFileTimeTicksPerSecond;
constexpr std::int64_t kTicksPerDay = 24 * 60 * kTicksPerMinute;

// The local file time at which the change `rule` happens in `year`; false
// when the rule does not name a day of that year.
bool ChangeTime(const ::SYSTEMTIME& rule, WORD year, std::int64_t* ticks) {
  SYSTEMTIME day = {};
  day.wYear = year;
  day.wMonth = rule.wMonth;
  day.wHour = rule.wHour;
  day.wMinute = rule.wMinute;
  day.wSecond = rule.wSecond;
  day.wMilliseconds = rule.wMilliseconds;
  if (rule.wYear != 0) {
    day.wDay = rule.wDay;
    return SystemTimeToFileTime(day, ticks);
  }
  // The first of the month, then forward to the weekday, then whole weeks;
  // the fifth occurrence means the last, so step back a week past the end.
  day.wDay = 1;
  std::int64_t first = 0;
  if (!SystemTimeToFileTime(day, &first)) return false;
  const int first_weekday = static_cast<int>((first / kTicksPerDay + 1) % 7);  // 1601-01-01 was a Monday
  int month_day = 1 + (rule.wDayOfWeek - first_weekday + 7) % 7 + 7 * (rule.wDay - 1);
  day.wDay = static_cast<WORD>(month_day);
  while (!SystemTimeToFileTime(day, ticks)) {
    if (rule.wDay < 5 || month_day <= 7) return false;
    month_day -= 7;
    day.wDay = static_cast<WORD>(month_day);
  }
  return true;
}

}  // namespace

bool LocalTimeOffset(const SYSTEMTIME& local, int* minutes) {
  std::int64_t when = 0;
  if (!SystemTimeToFileTime(local, &when)) return false;
  TIME_ZONE_INFORMATION zone = {};
  if (!::GetTimeZoneInformationForYear(local.wYear, nullptr, &zone) &&
      ::GetTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID) {
    return false;
  }
  // Biases count minutes to add to local time to get UTC: offsets are their
  // negatives.
  const int standard = -static_cast<int>(zone.Bias + zone.StandardBias);
  const int summer = -static_cast<int>(zone.Bias + zone.DaylightBias);
  *minutes = standard;
  std::int64_t begins = 0;
  std::int64_t ends = 0;
  if (zone.DaylightDate.wMonth == 0 || zone.StandardDate.wMonth == 0 ||
      !ChangeTime(zone.DaylightDate, local.wYear, &begins) || !ChangeTime(zone.StandardDate, local.wYear, &ends)) {
    return true;  // no summer time in this zone or year
  }
  // The skipped times still read as standard time: summer starts D later.
  if (summer > standard) begins += (summer - standard) * kTicksPerMinute;
  // Summer inside the year (north) or across its turn (south).
  const bool in_summer = begins < ends ? (when >= begins && when < ends) : (when >= begins || when < ends);
  if (in_summer) *minutes = summer;
  return true;
}

}  // namespace qorlog::platform
