#include "platform/file_time.h"

namespace qorlog::platform {

namespace {

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1601-01-01 to the given date (proleptic Gregorian calendar).
int64_t DaysSince1601(int year, int month, int day) {
  const int64_t y = year - 1601;
  int64_t days = y * 365 + y / 4 - y / 100 + y / 400;
  for (int m = 1; m < month; ++m) days += DaysInMonth(year, m);
  return days + day - 1;
}

}  // namespace

bool SystemTimeToFileTime(const SYSTEMTIME& t, int64_t* file_time) {
  if (t.wYear < 1601 || t.wYear > 30827 || t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1 ||
      t.wDay > DaysInMonth(t.wYear, t.wMonth) || t.wHour > 23 || t.wMinute > 59 ||
      t.wSecond > 59 || t.wMilliseconds > 999) {
    return false;
  }
  const int64_t seconds = DaysSince1601(t.wYear, t.wMonth, t.wDay) * 86400 + t.wHour * 3600 +
                          t.wMinute * 60 + t.wSecond;
  *file_time = seconds * kFileTimeTicksPerSecond + int64_t{t.wMilliseconds} * 10'000;
  return true;
}

}  // namespace qorlog::platform
