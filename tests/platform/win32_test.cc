// What only the Windows backend has: the real registry with its 32-bit view,
// and the ANSI code page. Run under Wine in a private prefix, whose registry
// the tests may write.
#include <gtest/gtest.h>

#include <string>

#include "platform/errors.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace qorlog::platform {
namespace {

// "ProgramFilesDir (x86)" as every 64-bit Windows (and Wine) has it.
TEST(Win32RegistryTest, ReadsStringsWithTypeSizeAndTerminator) {
  RegistryKey key;
  ASSERT_EQ(key.Open(u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", kKeyRead), 0u);
  char16_t value[260] = {};
  DWORD type = kRegNone;
  DWORD size = sizeof value;
  ASSERT_EQ(key.QueryValue(u"programfilesdir (X86)", &type, value, &size), 0u);
  const std::u16string expected = u"C:\\Program Files (x86)";
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(size, (expected.size() + 1) * 2);
  EXPECT_EQ(std::u16string(value), expected);

  // Too small: 234, the type and full size, and as much as fits.
  char16_t small[4] = {u'x', u'x', u'x', u'x'};
  type = kRegNone;
  size = 6;
  EXPECT_EQ(key.QueryValue(u"ProgramFilesDir (x86)", &type, small, &size), kErrorMoreData);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(size, (expected.size() + 1) * 2);
  EXPECT_EQ(std::u16string(small, 4), u"C:\\x");

  type = 99;
  EXPECT_EQ(key.QueryValue(u"No such value", &type, value, &size), kErrorFileNotFound);
  EXPECT_EQ(type, 99u);
  EXPECT_EQ(RegistryKey().QueryValue(u"x", &type, value, &size), kErrorInvalidHandle);
  EXPECT_EQ(key.Open(u"SOFTWARE\\No such key\\anywhere", kKeyRead), kErrorFileNotFound);
  EXPECT_FALSE(key.IsOpen());
}

// reg.exe writes a value into the 32-bit view only; the 32-bit open sees it,
// the native (64-bit) one does not.
TEST(Win32RegistryTest, TheWow64FlagSelectsThe32BitView) {
  const std::string reg = "C:\\windows\\system32\\reg.exe";
  DWORD exit_code = 99;
  ASSERT_EQ(StartAndWait({reg, "add", "HKLM\\SOFTWARE\\QorLogTest\\View", "/v", "InstallPath", "/d", "C:\\viewer",
                          "/f", "/reg:32"},
                         ShowMode::kHidden, &exit_code),
            0u);
  ASSERT_EQ(exit_code, 0u);
  RegistryKey view32, view64;
  ASSERT_EQ(view32.Open(u"SOFTWARE\\QorLogTest\\View", kKeyRead | kKeyWow64_32Key), 0u);
  char16_t value[260] = {};
  DWORD type = kRegNone;
  DWORD size = sizeof value;
  EXPECT_EQ(view32.QueryValue(u"InstallPath", &type, value, &size), 0u);
  EXPECT_EQ(std::u16string(value), u"C:\\viewer");
  EXPECT_EQ(view64.Open(u"SOFTWARE\\QorLogTest\\View", kKeyRead), kErrorFileNotFound);
  StartAndWait({reg, "delete", "HKLM\\SOFTWARE\\QorLogTest", "/f", "/reg:32"}, ShowMode::kHidden, nullptr);
}

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
