// The registry stand-in: file lookup, defaults, error codes, sizes.
#include "platform/registry.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/errors.h"
#include "tests/support/temp_env.h"

namespace qorlog::platform {
namespace {

using qorlog::testing::IsolatedEnv;

constexpr std::u16string_view kKey = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

TEST(RegistryTest, ReadsValuesCaseInsensitivelyAndTellsWhatIsMissing) {
  IsolatedEnv env;
  env.WriteRegistry(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\VARNOK\\ZEL\\Pellora i]\n; a comment\n  InstallPath = \"/opt/x \"\n" +
      std::string("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Long]\nv=") + std::string(260, 'a') + "\nw=" + std::string(259, 'b') +
      "\n");
  RegistryKey key;
  ASSERT_EQ(key.Open(u"software\\varnok\\zel\\PELLORA I"), 0u);
  char16_t buf[260];
  DWORD type = 0, size = 520;
  ASSERT_EQ(key.QueryValue(u"installpath", &type, buf, &size), 0u);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(size, 8u * 2);  // seven characters and the terminator
  EXPECT_EQ(std::u16string(buf), u"/opt/x ");

  EXPECT_EQ(key.Open(u"SOFTWARE\\Missing"), kErrorFileNotFound);
  ASSERT_EQ(key.Open(kKey), 0u);
  size = 520;
  EXPECT_EQ(key.QueryValue(u"nothing", &type, buf, &size), kErrorFileNotFound);
  EXPECT_EQ(type, kRegSz);  // left as the last query set it

  ASSERT_EQ(key.Open(u"SOFTWARE\\Long"), 0u);
  size = 520;
  EXPECT_EQ(key.QueryValue(u"v", &type, buf, &size), kErrorMoreData);
  EXPECT_EQ(size, 261u * 2);
  size = 520;
  EXPECT_EQ(key.QueryValue(u"w", &type, buf, &size), 0u);
  EXPECT_EQ(size, 520u);
}

TEST(RegistryTest, DefaultsWhenNoFileIsPresent) {
  IsolatedEnv env;
  setenv("QORLOG_REGISTRY", (env.root() / "absent.ini").c_str(), 1);
  setenv("XDG_DATA_HOME", "/data/home", 1);
  RegistryKey key;
  ASSERT_EQ(key.Open(kKey), 0u);
  char16_t buf[64];
  DWORD type = 0, size = sizeof buf;
  ASSERT_EQ(key.QueryValue(u"ProgramFilesDir (x86)", &type, buf, &size), 0u);
  EXPECT_EQ(std::u16string(buf), u"/data/home");
  unsetenv("XDG_DATA_HOME");
  RegistryKey viewer;
  EXPECT_EQ(viewer.Open(u"SOFTWARE\\VARNOK\\ZEL\\Pellora i"), 0u);
}

TEST(RegistryTest, SeesChangesToTheFile) {
  IsolatedEnv env;
  RegistryKey key;
  EXPECT_EQ(key.Open(u"SOFTWARE\\New"), kErrorFileNotFound);
  env.WriteRegistry("[HKEY_LOCAL_MACHINE\\SOFTWARE\\New]\nx=1\n; padding so the size changes\n");
  EXPECT_EQ(key.Open(u"SOFTWARE\\New"), 0u);
}

}  // namespace
}  // namespace qorlog::platform
