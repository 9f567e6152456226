// Where logs live: registry errors, category folders, joining, folder creation.
#include <gtest/gtest.h>

#include "logstore/log_util.h"
#include "platform/errors.h"
#include "platform/text.h"
#include "tests/support/temp_env.h"

namespace qorlog {
namespace {

using qorlog::testing::IsolatedEnv;
using platform::Utf16ToUtf8;
using platform::Utf8ToUtf16;

const char kKeyHeader[] = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion]\n";

void WriteRegistryText(const IsolatedEnv& env, const std::string& text) {
  qorlog::testing::WriteFile(env.registry_file(), text);
}

TEST(ProgramFilesPathTest, ErrorCodes) {
  IsolatedEnv env;
  CLogUtil util;
  char16_t buf[260];
  WriteRegistryText(env, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\nx=1\n");
  EXPECT_EQ(util.GetProgramFilesPath(buf, 260), platform::kErrorFileNotFound);
  WriteRegistryText(env, std::string(kKeyHeader) + "Other=1\n");
  EXPECT_EQ(util.GetProgramFilesPath(buf, 260), platform::kErrorInvalidData);
  WriteRegistryText(env, std::string(kKeyHeader) + "ProgramFilesDir (x86)=" + std::string(260, 'p') + "\n");
  EXPECT_EQ(util.GetProgramFilesPath(buf, 260), platform::kErrorMoreData);
  WriteRegistryText(env, std::string(kKeyHeader) + "ProgramFilesDir (x86)=" + std::string(259, 'p') + "\n");
  EXPECT_EQ(util.GetProgramFilesPath(buf, 260), 0u);
  EXPECT_EQ(std::u16string(buf), std::u16string(259, u'p'));
}

TEST(ProgramFilesPathTest, CopiesWithSilentTruncation) {
  IsolatedEnv env;
  CLogUtil util;
  const std::u16string full = Utf8ToUtf16(env.program_files().string());
  ASSERT_GT(full.size(), 10u);
  char16_t buf[260];
  std::fill(std::begin(buf), std::end(buf), u'#');
  EXPECT_EQ(util.GetProgramFilesPath(buf, 10), 0u);
  EXPECT_EQ(std::u16string(buf), full.substr(0, 9));
  EXPECT_EQ(buf[10], u'#');

  std::fill(std::begin(buf), std::end(buf), u'#');
  EXPECT_EQ(util.GetProgramFilesPath(buf, 0), 0u);
  EXPECT_EQ(util.GetProgramFilesPath(buf, 0x80000000u), 0u);
  EXPECT_EQ(util.GetProgramFilesPath(buf, 0xFFFFFFFFu), 0u);
  EXPECT_EQ(buf[0], u'#');  // untouched
}

TEST(LogFolderTest, CategoryFoldersForEveryKind) {
  IsolatedEnv env;
  CLogUtil util;
  const struct {
    DWORD kind;
    const char* name;
  } cases[] = {{1000, "pc scan"}, {1001, "firewall"}, {1002, "anti keylogger"}, {1003, "secure browser"},
               {1004, "pellora i"}, {1005, "etc"},  {0, "etc"},           {999, "etc"}};
  for (const auto& c : cases) {
    EXPECT_EQ(Utf16ToUtf8(util.GetLogFolder(c.kind).view()), env.CategoryFolder(c.name).string()) << c.kind;
  }
  EXPECT_EQ(Utf16ToUtf8(util.GetUpdateFolder()), (env.program_files() / "Varnok/ZEL/Pellora i").string());
}

TEST(LogFolderTest, NoDoubleSeparatorAndEmptyBase) {
  IsolatedEnv env;
  CLogUtil util;
  WriteRegistryText(env, std::string(kKeyHeader) + "ProgramFilesDir (x86)=/opt/pf/\n");
  EXPECT_EQ(util.GetLogFolder(1001).view(), u"/opt/pf/Varnok/ZEL/Common/Log/firewall");
  WriteRegistryText(env, "");
  EXPECT_EQ(util.GetLogFolder(1001).view(), u"/Varnok/ZEL/Common/Log/firewall");
  EXPECT_EQ(util.GetUpdateFolder(), u"/Varnok/ZEL/Pellora i");
}

TEST(JoinPathTest, ExactlyOneSeparator) {
  EXPECT_EQ(JoinPath(u"/a/b", u"c.ui"), u"/a/b/c.ui");
  EXPECT_EQ(JoinPath(u"/a/b// \t", u"  //c.ui"), u"/a/b/c.ui");
  EXPECT_EQ(JoinPath(u"", u"c"), u"/c");
}

TEST(MakeLogFolderTest, CreatesMissingLevelsOnce) {
  qorlog::testing::TempDir dir;
  const std::u16string deep = Utf8ToUtf16(dir.str() + "/one/two/three");
  EXPECT_TRUE(MakeLogFolder(deep));
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "one/two/three"));
  qorlog::testing::WriteFile(dir.path() / "one/two/three/keep", "x");
  EXPECT_FALSE(MakeLogFolder(deep));  // exists: false, nothing changed
  EXPECT_EQ(qorlog::testing::ReadFile(dir.path() / "one/two/three/keep"), "x");
}

}  // namespace
}  // namespace qorlog
