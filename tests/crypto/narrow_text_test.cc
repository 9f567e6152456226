// Conversion between UTF-16 and the narrow code page (UTF-8).
#include <gtest/gtest.h>

#include "crypto/narrow_text.h"

namespace qorlog::crypto_internal {
namespace {

TEST(NarrowTextTest, ValidTextRoundTrips) {
  const std::u16string text = u"abc \u00e9 \u20ac \U0001F600 \uffff";
  const std::string narrow = WideToNarrow(text);
  EXPECT_EQ(narrow, "abc \xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80 \xef\xbf\xbf");
  EXPECT_EQ(NarrowToWide(narrow), text);
  EXPECT_EQ(WideToNarrow(std::u16string(u"a\0b", 3)), std::string("a\0b", 3));
}

TEST(NarrowTextTest, InvalidInputBecomesReplacementCharacters) {
  // Lone surrogates in UTF-16.
  EXPECT_EQ(WideToNarrow(u"a\xd800" u"b"), "a\xef\xbf\xbd" "b");
  EXPECT_EQ(WideToNarrow(std::u16string(1, 0xdc00)), "\xef\xbf\xbd");
  // Bad UTF-8: stray continuation, overlong form, encoded surrogate, value
  // above U+10FFFF, truncated sequence at the end.
  EXPECT_EQ(NarrowToWide("a\x80" "b"), u"a\ufffd" u"b");
  EXPECT_EQ(NarrowToWide("\xc0\xaf"), u"\ufffd\ufffd");
  EXPECT_EQ(NarrowToWide("\xed\xa0\x80"), u"\ufffd\ufffd\ufffd");
  EXPECT_EQ(NarrowToWide("\xf4\x90\x80\x80"), u"\ufffd\ufffd\ufffd\ufffd");
  EXPECT_EQ(NarrowToWide("ok\xe2\x82"), u"ok\ufffd\ufffd");
  EXPECT_EQ(NarrowToWide("\xe2\x82" "A"), u"\ufffd\ufffd" u"A");
}

}  // namespace
}  // namespace qorlog::crypto_internal
