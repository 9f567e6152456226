// What only the Windows backend has: the ANSI code page. Run under Wine.
#include <gtest/gtest.h>

#include <string>

#include "platform/text.h"

namespace qorlog::platform {
namespace {

TEST(Win32TextTest, AnsiCodePageRoundTripsItsOwnCharacters) {
  EXPECT_EQ(AnsiToUtf16("plain ASCII"), u"plain ASCII");
  EXPECT_EQ(Utf16ToAnsi(u"plain ASCII"), "plain ASCII");
  EXPECT_EQ(AnsiToUtf16(""), u"");
  // Characters of every Western code page and of UTF-8.
  const std::u16string western = u"Gr\u00fc\u00dfe \u00e9t\u00e9";
  EXPECT_EQ(AnsiToUtf16(Utf16ToAnsi(western)), western);
}

}  // namespace
}  // namespace qorlog::platform
