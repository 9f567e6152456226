// Where logs live (registry errors, category folders, joining, folder
// creation) and the file list of a category with its order.
#include <gtest/gtest.h>

#include "logstore/log_util.h"
#include "logstore/sorted_string_array.h"
#include "platform/errors.h"
#include "tests/logstore/log_test_support.h"

namespace qorlog::testing {
namespace {

using platform::Utf16ToUtf8;

const std::string kKeyHeader = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion]\n";

// The folders come from the registry stand-in file, with '/' paths.
class LogUtilTest : public ::testing::Test {
 protected:
  ~LogUtilTest() override { g_blocks.clear(); }
#ifdef _WIN32
  void SetUp() override { GTEST_SKIP() << "Windows reads the machine's registry"; }
#endif
  void WriteRegistry(const std::string& text) const { WriteFile(env_.registry_file(), text); }
  std::vector<std::string> List(DWORD kind, DWORD record_kind) {
    stLOG_FILE_ITEM* list = nullptr;
    const DWORD count = util_.CountLogFiles(kind, &list, &TestAlloc);
    std::vector<std::string> out;
    for (DWORD i = 0; i < count; ++i) {
      EXPECT_EQ(list[i].dwRecordKind, record_kind);
      EXPECT_EQ(list[i].dwKind, kind);
      EXPECT_EQ(list[i].dwReserved + list[i].dwReserved2, 0u);
      out.push_back(Utf16ToUtf8(list[i].szPath));
    }
    return out;
  }
  static void Touch(const std::filesystem::path& path) {
    std::filesystem::create_directories(path.parent_path());
    WriteFile(path, "");
  }
  IsolatedEnv env_;
  CLogUtil util_;
};

TEST_F(LogUtilTest, ProgramFilesPathErrorsAndSilentTruncation) {
  const struct {
    std::string text;
    DWORD status;
  } cases[] = {
      {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\nx=1\n", platform::kErrorFileNotFound},
      {kKeyHeader + "Other=1\n", platform::kErrorInvalidData},
      {kKeyHeader + "ProgramFilesDir (x86)=" + std::string(260, 'p') + "\n", platform::kErrorMoreData},
      {kKeyHeader + "ProgramFilesDir (x86)=" + std::string(259, 'p') + "\n", 0},
  };
  char16_t buf[260];
  for (const auto& c : cases) {
    WriteRegistry(c.text);
    EXPECT_EQ(util_.GetProgramFilesPath(buf, 260), c.status) << c.text.size();
  }
  EXPECT_EQ(std::u16string(buf), std::u16string(259, u'p'));

  env_.WriteRegistry("");
  const std::u16string full = U16(env_.program_files());
  std::fill(std::begin(buf), std::end(buf), u'#');
  EXPECT_EQ(util_.GetProgramFilesPath(buf, 10), 0u);
  EXPECT_EQ(std::u16string(buf), full.substr(0, 9));
  EXPECT_EQ(buf[10], u'#');
  std::fill(std::begin(buf), std::end(buf), u'#');
  for (DWORD size : {0u, 0x80000000u, 0xFFFFFFFFu}) EXPECT_EQ(util_.GetProgramFilesPath(buf, size), 0u);
  EXPECT_EQ(buf[0], u'#');  // untouched
}

TEST_F(LogUtilTest, CategoryFoldersJoinWithOneSeparator) {
  const struct {
    DWORD kind;
    const char* name;
  } cases[] = {{1000, "pc scan"}, {1001, "firewall"}, {1002, "anti keylogger"}, {1003, "secure browser"},
               {1004, "pellora i"}, {1005, "etc"},  {0, "etc"},           {999, "etc"}};
  for (const auto& c : cases) {
    EXPECT_EQ(Utf16ToUtf8(util_.GetLogFolder(c.kind).view()), env_.CategoryFolder(c.name).string()) << c.kind;
  }
  EXPECT_EQ(Utf16ToUtf8(util_.GetUpdateFolder()), (env_.program_files() / "Varnok/ZEL/Pellora i").string());
  WriteRegistry(kKeyHeader + "ProgramFilesDir (x86)=/opt/pf/\n");
  EXPECT_EQ(util_.GetLogFolder(1001).view(), u"/opt/pf/Varnok/ZEL/Common/Log/firewall");
  WriteRegistry("");
  EXPECT_EQ(util_.GetLogFolder(1001).view(), u"/Varnok/ZEL/Common/Log/firewall");
  EXPECT_EQ(JoinPath(u"/a/b// \t", u"  //c.ui"), u"/a/b/c.ui");
  EXPECT_EQ(JoinPath(u"", u"c"), u"/c");
  // A missing folder is made with its parents; one that exists is not made again.
  EXPECT_TRUE(MakeLogFolder(U16(env_.CategoryFolder("etc") / "deeper")));
  EXPECT_FALSE(MakeLogFolder(U16(env_.CategoryFolder("etc") / "deeper")));
}

TEST_F(LogUtilTest, FileListHoldsLogNamesSortedWithoutCase) {
  const auto folder = env_.CategoryFolder("firewall");
  std::filesystem::create_directories(folder / "old.log");
  for (const char* name : {"2024010201.log", "log", "x.LOG", "2024010200.log", "notes.txt", "B.log", "a.log", "A.log",
                           "_.log", "2023123100.log.bak"}) {
    Touch(folder / name);
  }
  const std::string base = folder.string() + "/";
  // '_' sorts before letters, as with lower-case folding; equal names keep the
  // order the folder listed them in, so only one of a.log and A.log is checked.
  const auto paths = List(1001, 1001);
  ASSERT_EQ(paths.size(), 8u);
  EXPECT_EQ(paths[0], base + "2024010200.log");
  EXPECT_EQ(paths[1], base + "2024010201.log");
  EXPECT_EQ(paths[2], base + "_.log");
  EXPECT_EQ(paths[5], base + "B.log");
  EXPECT_EQ(paths[6], base + "log");
  EXPECT_EQ(paths[7], base + "old.log");
  EXPECT_EQ(CompareNoCase(u"ABC", u"abc"), 0);
  EXPECT_LT(CompareNoCase(u"ab", u"ABC"), 0);
}

TEST_F(LogUtilTest, FileListRecordKindPathCutAndFailures) {
  stLOG_FILE_ITEM* list = nullptr;
  EXPECT_EQ(util_.CountLogFiles(1000, &list, &TestAlloc), 0u);  // no folder: an empty block
  EXPECT_NE(list, nullptr);
  Touch(env_.CategoryFolder("etc") / "2024010100.log");
  Touch(env_.CategoryFolder("pellora i") / "2024010100.log");
  Touch(env_.CategoryFolder("pc scan") / "2024010100.log");
  const struct {
    DWORD kind, record_kind;
  } cases[] = {{0, 1000}, {999, 1000}, {5000, 1002}, {1004, 1002}};
  for (const auto& c : cases) EXPECT_EQ(List(c.kind, c.record_kind).size(), 1u) << c.kind;
  EXPECT_EQ(util_.CountLogFiles(1000, &list, &FailingAlloc), 0u);
  EXPECT_EQ(list, nullptr);

  const std::string name = std::string(240, 'n') + ".log";
  Touch(env_.CategoryFolder("etc") / name);
  const std::string full = env_.CategoryFolder("etc").string() + "/" + name;
  ASSERT_GT(full.size(), 259u);
  EXPECT_EQ(List(1005, 1002).back(), full.substr(0, 259));
}

}  // namespace
}  // namespace qorlog::testing
