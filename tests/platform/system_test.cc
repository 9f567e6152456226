// Text conversion, path buffers, local time and the readability probe.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>

#include <gtest/gtest.h>

#include "platform/path_buffer.h"
#include "platform/system.h"
#include "platform/text.h"
#include "tests/support/temp_env.h"

namespace qorlog::platform {
namespace {

TEST(TextTest, DecodesUtf8AndReplacesInvalidBytes) {
  EXPECT_EQ(Utf8ToUtf16("abc"), u"abc");
  EXPECT_EQ(Utf8ToUtf16("\xC3\xA4\xE2\x82\xAC"), u"\u00E4\u20AC");
  EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98\x80"), u"\U0001F600");
  EXPECT_EQ(Utf8ToUtf16("a\xFFz"), u"a\uFFFDz");
  EXPECT_EQ(Utf8ToUtf16("a\xC3"), u"a\uFFFD");              // cut-off sequence
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");       // overlong form
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80x"), u"\uFFFD\uFFFD\uFFFDx");  // encoded surrogate: byte by byte
  EXPECT_EQ(Utf8ToUtf16("\xE2\x82" "A"), u"\uFFFD\uFFFD" u"A");  // cut-off sequence before more text
}

TEST(TextTest, EveryValidUtf16TextRoundTrips) {
  const std::u16string texts[] = {u"", u"plain", u"\u00E4\u00F6\u00FC \u4E2D\u6587", u"\U0001F600\U00010000",
                                  std::u16string(300, u'\u20AC')};
  for (const auto& t : texts) EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(t)), t);
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t{0xD800})), "\xEF\xBF\xBD");
}

TEST(PathBufferTest, CutsSilentlyAndAddsOneSeparator) {
  PathBuffer p(u"/base/");
  p.AppendPart(u"x");
  EXPECT_EQ(p.view(), u"/base/x");
  PathBuffer empty;
  empty.AppendPart(u"Varnok");
  EXPECT_EQ(empty.view(), u"/Varnok");  // an empty base starts the path with a separator
  PathBuffer full(std::u16string(300, u'a'));
  EXPECT_EQ(full.size(), kMaxPath - 1);
  full.AppendPart(u"more");
  EXPECT_EQ(full.size(), kMaxPath - 1);
  EXPECT_EQ(full.c_str()[kMaxPath - 1], 0);
}

TEST(SystemTest, LocalTimeMatchesTheClock) {
  const std::time_t now = std::time(nullptr);
  struct tm tm;
  localtime_r(&now, &tm);
  const SYSTEMTIME st = GetLocalTime();
  EXPECT_EQ(st.wYear, tm.tm_year + 1900);
  EXPECT_EQ(st.wMonth, tm.tm_mon + 1);
  EXPECT_EQ(st.wDay, tm.tm_mday);
  EXPECT_EQ(st.wDayOfWeek, tm.tm_wday);
  EXPECT_LT(st.wMilliseconds, 1000);
}

TEST(SystemTest, ProbeTellsMappedFromUnmappedMemory) {
  const long page = sysconf(_SC_PAGESIZE);
  void* mem = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(mem, MAP_FAILED);
  auto* bytes = static_cast<char*>(mem);
  ASSERT_EQ(mprotect(bytes + page, page, PROT_NONE), 0);
  EXPECT_FALSE(IsBadReadPtr(bytes, page));
  EXPECT_TRUE(IsBadReadPtr(bytes + page - 4, 12));  // runs into the guard page
  EXPECT_TRUE(IsBadReadPtr(bytes + page, 1));
  EXPECT_TRUE(IsBadReadPtr(nullptr, 1));
  int local = 0;
  EXPECT_FALSE(IsBadReadPtr(&local, sizeof local));
  munmap(mem, 2 * page);
}

}  // namespace
}  // namespace qorlog::platform
