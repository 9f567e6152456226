// The write-time stamp: its text form and the freshness test.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "settings/secure_ini_document.h"

namespace qorlog {
namespace {

SYSTEMTIME Time(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
  SYSTEMTIME t{};
  t.wYear = static_cast<uint16_t>(y);
  t.wMonth = static_cast<uint16_t>(mo);
  t.wDay = static_cast<uint16_t>(d);
  t.wHour = static_cast<uint16_t>(h);
  t.wMinute = static_cast<uint16_t>(mi);
  t.wSecond = static_cast<uint16_t>(s);
  t.wMilliseconds = static_cast<uint16_t>(ms);
  return t;
}

BOOL Fresh(std::u16string_view stamp, int64_t age, const SYSTEMTIME& now) {
  return CSecureIniDocument::IsStampFresh(stamp, age, now);
}

TEST(WriteStamp, FormatIsZeroPaddedAndReadsBack) {
  const SYSTEMTIME t = Time(2024, 3, 5, 7, 8, 9, 999);
  EXPECT_EQ(CSecureIniDocument::FormatStamp(t), u"2024.03.05.07.08.09");
  EXPECT_EQ(Fresh(CSecureIniDocument::FormatStamp(t), 0, Time(2024, 3, 5, 7, 8, 9)), 1);
}

TEST(WriteStamp, OneSecondInsideAndOutsideTheLimit) {
  const SYSTEMTIME now = Time(2024, 3, 10, 12, 0, 0, 500);
  EXPECT_EQ(Fresh(u"2024.03.10.11.00.01", 3600, now), 1);  // 3599.5 s old
  EXPECT_EQ(Fresh(u"2024.03.10.10.59.59", 3600, now), 0);  // 3601.5 s old
  // Exactly the age in whole seconds, but now has milliseconds: stale.
  EXPECT_EQ(Fresh(u"2024.03.10.11.00.00", 3600, now), 0);
  EXPECT_EQ(Fresh(u"2024.03.10.11.00.00", 3600, Time(2024, 3, 10, 12, 0, 0)), 1);
}

TEST(WriteStamp, LimitCrossesDaysMonthsAndLeapDays) {
  const SYSTEMTIME now = Time(2024, 3, 1, 0, 0, 30);
  EXPECT_EQ(Fresh(u"2024.02.29.23.59.59", 60, now), 1);
  EXPECT_EQ(Fresh(u"2024.02.29.23.59.29", 60, now), 0);
  EXPECT_EQ(Fresh(u"2023.12.31.23.59.59", 86400 * 61, now), 1);
  EXPECT_EQ(Fresh(u"2023.12.31.23.59.59", 86400 * 60, now), 0);
}

TEST(WriteStamp, FutureStampsAreFresh) {
  EXPECT_EQ(Fresh(u"2030.01.01.00.00.00", 0, Time(2024, 1, 1, 0, 0, 0)), 1);
}

TEST(WriteStamp, FieldRules) {
  const SYSTEMTIME now = Time(2024, 3, 10, 12, 0, 0);
  EXPECT_EQ(Fresh(u"2024.03.10.11.59", 3600, now), 0);                // five fields
  EXPECT_EQ(Fresh(u"2024..03.10...11.59.00.", 3600, now), 1);         // empty fields skipped
  EXPECT_EQ(Fresh(u"2024.03.10.11.59.00.junk.7", 3600, now), 1);      // extra fields ignored
  EXPECT_EQ(Fresh(u" 2024. 3.10x.11.59.00", 3600, now), 1);           // each field read as a decimal
  EXPECT_EQ(Fresh(u"", 3600, now), 0);
}

TEST(WriteStamp, ImpossibleTimesAreStale) {
  const SYSTEMTIME now = Time(2024, 3, 10, 12, 0, 0);
  const int64_t year = 86400 * 366;
  EXPECT_EQ(Fresh(u"2023.02.29.00.00.00", 2 * year, now), 0);  // not a leap year
  EXPECT_EQ(Fresh(u"2100.02.29.00.00.00", 2 * year, now), 0);  // century, not a leap year
  EXPECT_EQ(Fresh(u"2024.13.01.00.00.00", 2 * year, now), 0);
  EXPECT_EQ(Fresh(u"2024.04.31.00.00.00", 2 * year, now), 0);
  EXPECT_EQ(Fresh(u"2024.03.10.24.00.00", 2 * year, now), 0);
  EXPECT_EQ(Fresh(u"2024.03.10.11.60.00", 2 * year, now), 0);
  EXPECT_EQ(Fresh(u"2024.00.10.11.00.00", 2 * year, now), 0);
  EXPECT_EQ(Fresh(u"1600.12.31.23.59.59", std::numeric_limits<int64_t>::max(), now), 0);
  // A month of 65539 must not wrap around to March.
  EXPECT_EQ(Fresh(u"2024.65539.10.11.00.00", 2 * year, now), 0);
  EXPECT_EQ(Fresh(u"2024.-3.10.11.00.00", 2 * year, now), 0);
  // An impossible current time makes every stamp stale.
  EXPECT_EQ(Fresh(u"2024.03.10.11.00.00", 2 * year, Time(2024, 2, 30, 0, 0, 0)), 0);
}

TEST(WriteStamp, ExtremeAgesDoNotOverflow) {
  const SYSTEMTIME now = Time(30827, 12, 31, 23, 59, 59, 999);
  const int64_t max = std::numeric_limits<int64_t>::max();
  const int64_t min = std::numeric_limits<int64_t>::min();
  EXPECT_EQ(Fresh(u"1601.01.01.00.00.00", max, now), 1);
  EXPECT_EQ(Fresh(u"30827.12.31.23.59.59", min, now), 0);
  EXPECT_EQ(Fresh(u"1601.01.01.00.00.00", min, Time(1601, 1, 1, 0, 0, 0)), 0);
  EXPECT_EQ(Fresh(u"1601.01.01.00.00.00", -1, Time(1601, 1, 1, 0, 0, 0)), 0);
  EXPECT_EQ(Fresh(u"1601.01.01.00.00.01", -1, Time(1601, 1, 1, 0, 0, 0)), 1);
}

}  // namespace
}  // namespace qorlog
