// The write-time stamp: its text form and the freshness test.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "platform/text.h"
#include "settings/secure_ini_document.h"

namespace qorlog {
namespace {

SYSTEMTIME Time(uint16_t y, uint16_t mo, uint16_t d, uint16_t h, uint16_t mi, uint16_t s, uint16_t ms = 0) {
  return SYSTEMTIME{y, mo, 0, d, h, mi, s, ms};
}

BOOL Fresh(std::u16string_view stamp, int64_t age, const SYSTEMTIME& now) {
  return CSecureIniDocument::IsStampFresh(stamp, age, now);
}

TEST(WriteStamp, FormatIsZeroPaddedAndReadsBack) {
  const SYSTEMTIME t = Time(2024, 3, 5, 7, 8, 9, 999);
  EXPECT_EQ(CSecureIniDocument::FormatStamp(t), u"2024.03.05.07.08.09");
  EXPECT_EQ(Fresh(CSecureIniDocument::FormatStamp(t), 0, Time(2024, 3, 5, 7, 8, 9)), 1);
}

// Each case: a stamp, the allowed age in seconds, the current time, and
// whether the stamp counts as fresh.
TEST(WriteStamp, Freshness) {
  const SYSTEMTIME noon = Time(2024, 3, 10, 12, 0, 0);
  const SYSTEMTIME noon_500 = Time(2024, 3, 10, 12, 0, 0, 500);
  const SYSTEMTIME march1 = Time(2024, 3, 1, 0, 0, 30);
  const SYSTEMTIME first = Time(1601, 1, 1, 0, 0, 0);
  const SYSTEMTIME last = Time(30827, 12, 31, 23, 59, 59, 999);
  const int64_t year = 86400 * 366;
  const int64_t max = std::numeric_limits<int64_t>::max();
  const int64_t min = std::numeric_limits<int64_t>::min();
  const struct {
    const char16_t* stamp;
    int64_t age;
    SYSTEMTIME now;
    BOOL fresh;
  } cases[] = {
      // One second inside and outside the limit; milliseconds of now count.
      {u"2024.03.10.11.00.01", 3600, noon_500, 1},  // 3599.5 s old
      {u"2024.03.10.10.59.59", 3600, noon_500, 0},  // 3601.5 s old
      {u"2024.03.10.11.00.00", 3600, noon_500, 0},
      {u"2024.03.10.11.00.00", 3600, noon, 1},
      // The limit crosses days, months and leap days.
      {u"2024.02.29.23.59.59", 60, march1, 1},
      {u"2024.02.29.23.59.29", 60, march1, 0},
      {u"2023.12.31.23.59.59", 86400 * 61, march1, 1},
      {u"2023.12.31.23.59.59", 86400 * 60, march1, 0},
      // Future stamps are fresh.
      {u"2030.01.01.00.00.00", 0, Time(2024, 1, 1, 0, 0, 0), 1},
      // Field rules: six fields needed, empty ones skipped, extra ones
      // ignored, each read as a leading decimal.
      {u"2024.03.10.11.59", 3600, noon, 0},
      {u"2024..03.10...11.59.00.", 3600, noon, 1},
      {u"2024.03.10.11.59.00.junk.7", 3600, noon, 1},
      {u" 2024. 3.10x.11.59.00", 3600, noon, 1},
      {u"", 3600, noon, 0},
      // Impossible times are stale (the calendar's own limits are tested
      // with the platform's time conversion).
      {u"2100.02.29.00.00.00", 2 * year, noon, 0},  // century, not a leap year
      {u"2024.00.10.11.00.00", 2 * year, noon, 0},
      {u"2024.65539.10.11.00.00", 2 * year, noon, 0},  // must not wrap to March
      {u"2024.-3.10.11.00.00", 2 * year, noon, 0},
      {u"2024.03.10.11.00.00", 2 * year, Time(2024, 2, 30, 0, 0, 0), 0},  // impossible now
      // Extreme ages do not overflow.
      {u"1601.01.01.00.00.00", max, last, 1},
      {u"30827.12.31.23.59.59", min, last, 0},
      {u"1601.01.01.00.00.00", min, first, 0},
      {u"1601.01.01.00.00.00", -1, first, 0},
      {u"1601.01.01.00.00.01", -1, first, 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Fresh(c.stamp, c.age, c.now), c.fresh)
        << platform::Utf16ToUtf8(c.stamp) << " age " << c.age << " now " << c.now.wYear << "-" << c.now.wMonth << "-"
        << c.now.wDay << " " << c.now.wMilliseconds << "ms";
  }
}

}  // namespace
}  // namespace qorlog
