// Directory search, folder creation, attributes, deletion and renaming.
#include <sys/stat.h>

#include <algorithm>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/errors.h"
#include "platform/fault_injection.h"
#include "platform/find_names.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "tests/support/temp_env.h"

namespace qorlog::platform {
namespace {

using qorlog::testing::TempDir;

std::u16string U(const std::string& s) { return Utf8ToUtf16(s); }

TEST(MatchesPatternTest, WildcardsAndCase) {
  struct Case {
    std::u16string_view pattern, name;
    bool match;
  } cases[] = {
      {u"*.log", u"2026010100.log", true}, {u"*.log", u"x.LOG", true},
      {u"*.log", u"log", false},           {u"*.log", u"a.log.bak", false},
      {u"*.*", u"noext", true},            {u"*", u"", true},
      {u"??.txt", u"ab.txt", true},        {u"??.txt", u"abc.txt", false},
      {u"a*b*c", u"aXXbYYc", true},        {u"a*b*c", u"aXXbYY", false},
      {u"*a", u"bbba", true},              {u"", u"x", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MatchesPattern(c.pattern, c.name), c.match)
        << Utf16ToUtf8(c.pattern) << " vs " << Utf16ToUtf8(c.name);
  }
}

TEST(FindFilesTest, ReportsNamesFoldersAndSplitSizes) {
  TempDir dir;
  qorlog::testing::WriteFile(dir.path() / "a.log", "12345");
  qorlog::testing::WriteFile(dir.path() / "b.txt", "");
  std::filesystem::create_directory(dir.path() / "old.log");
  {
    // A sparse file of 4 GiB + 7 bytes shows the size halves.
    std::ofstream big(dir.path() / "big.log", std::ios::binary);
    big.seekp((std::streamoff{1} << 32) + 6);
    big.put('x');
  }
  std::vector<FindData> found;
  ASSERT_EQ(FindFiles(U(dir.str() + "/*.log"), &found), 0u);
  std::sort(found.begin(), found.end(), [](auto& x, auto& y) { return x.name < y.name; });
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0].name, u"a.log");
  EXPECT_FALSE(found[0].is_directory);
  EXPECT_EQ(found[0].size_low, 5u);
  EXPECT_EQ(found[1].name, u"big.log");
  EXPECT_EQ(found[1].size_high, 1u);
  EXPECT_EQ(found[1].size_low, 7u);
  EXPECT_EQ(found[2].name, u"old.log");
  EXPECT_TRUE(found[2].is_directory);

  ASSERT_EQ(FindFiles(U(dir.str() + "/*.*"), &found), 0u);
  EXPECT_EQ(found.size(), 6u);  // four entries plus "." and ".."

  EXPECT_EQ(FindFiles(U(dir.str() + "/*.dat"), &found), kErrorFileNotFound);
  EXPECT_TRUE(found.empty());
  EXPECT_EQ(FindFiles(U(dir.str() + "/missing/*.log"), &found), kErrorPathNotFound);
  EXPECT_EQ(GetLastError(), kErrorPathNotFound);
}

// The names-only search must give the names FindFiles gives, for literal
// starts matched without regard to case and for every kind of rest.
TEST(FindFileNamesTest, AgreesWithFindFiles) {
  TempDir dir;
  for (const char* name : {"2026010100.log", "2026010101.LOG", "20260101x.log", "2026010102.log.old", "ab", "abc",
                           "abc.d", "ABX.e", "20260101\xc3\xa9z.log", "other.log",
                           "zz\xef\xbc\xa1", "zz\xf0\x9f\x98\x80", "zzb"}) {
    std::ofstream(dir.path() / name) << "x";
  }
  for (const char* pattern : {"20260101??.log", "2026010100.log", "ab*.*", "*.*", "AB?", "ab*", "2026*.log", "zz*"}) {
    const std::u16string path = Utf8ToUtf16((dir.path() / pattern).string());
    std::vector<FindData> found;
    const DWORD files_rc = FindFiles(path, &found);
    std::vector<std::u16string> expected;
    for (const FindData& f : found) expected.push_back(f.name);
    std::vector<std::u16string> names;
    EXPECT_EQ(FindFileNames(path, &names), files_rc) << pattern;
    std::sort(expected.begin(), expected.end());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, expected) << pattern;
    std::u16string greatest = u"stale";
    EXPECT_EQ(FindGreatestFileName(path, &greatest), files_rc) << pattern;
    EXPECT_EQ(greatest, expected.empty() ? u"" : expected.back()) << pattern;
  }
  std::u16string greatest;
  ASSERT_EQ(FindGreatestFileName(Utf8ToUtf16((dir.path() / "zz*").string()), &greatest), 0u);
  EXPECT_EQ(greatest, u"zz\uFF21");
  ASSERT_EQ(FindGreatestFileName(Utf8ToUtf16((dir.path() / "2026*.log").string()), &greatest), 0u);
  EXPECT_EQ(greatest, u"20260101\u00E9z.log");
  EXPECT_EQ(FindGreatestFileName(Utf8ToUtf16((dir.path() / "none" / "*").string()), &greatest), kErrorPathNotFound);
  std::vector<std::u16string> names;
  ASSERT_EQ(FindFileNames(Utf8ToUtf16((dir.path() / "ab*.*").string()), &names), 0u);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::u16string>{u"ABX.e", u"abc.d"}));  // "ab" and "abc" have no dot
}

TEST(FolderTest, CreateAttributesAndDelete) {
  TempDir dir;
  const std::u16string folder = U(dir.str() + "/f");
  EXPECT_EQ(CreateFolder(folder), 0u);
  EXPECT_EQ(CreateFolder(folder), kErrorAlreadyExists);
  EXPECT_EQ(CreateFolder(U(dir.str() + "/x/y")), kErrorPathNotFound);
  EXPECT_TRUE(IsFolder(folder));
  EXPECT_EQ(DeleteFileNamed(folder), kErrorAccessDenied);  // folders are not files

  const auto file = dir.path() / "ro.log";
  qorlog::testing::WriteFile(file, "x");
  ASSERT_EQ(chmod(file.c_str(), 0444), 0);
  EXPECT_TRUE(SetAttributesNormal(U(file.string())));
  struct stat st;
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_TRUE(st.st_mode & S_IWUSR);
  EXPECT_EQ(DeleteFileNamed(U(file.string())), 0u);
  EXPECT_EQ(DeleteFileNamed(U(file.string())), kErrorFileNotFound);
}

// The recursion over missing parents (its callers' own rules are tested
// with them): a parent that another process makes meanwhile counts as made.
TEST(FolderTest, TreeTakesAParentMadeMeanwhile) {
  TempDir dir;
  EXPECT_EQ(CreateFolderTree(U(dir.str() + "/a/b")), 0u);
  EXPECT_EQ(CreateFolderTree(U(dir.str() + "/a/b")), kErrorAlreadyExists);
  {
    // The first try finds the parent missing; when the tree goes to make it,
    // it is there.
    fault::ScopedPlan plan;
    plan.Fail(fault::Call::kCreateFolder, 1, kErrorPathNotFound);
    EXPECT_EQ(CreateFolderTree(U(dir.str() + "/a/c")), 0u);
  }
  EXPECT_TRUE(IsFolder(U(dir.str() + "/a/c")));
}

TEST(FolderTest, RenameRefusesAnExistingTarget) {
  TempDir dir;
  qorlog::testing::WriteFile(dir.path() / "a", "1");
  qorlog::testing::WriteFile(dir.path() / "b", "2");
  EXPECT_EQ(MoveFileNamed(U(dir.str() + "/a"), U(dir.str() + "/b")), kErrorFileExists);
  EXPECT_EQ(MoveFileNamed(U(dir.str() + "/a"), U(dir.str() + "/c")), 0u);
  EXPECT_EQ(qorlog::testing::ReadFile(dir.path() / "c"), "1");
  EXPECT_FALSE(PathExists(U(dir.str() + "/a")));
}

}  // namespace
}  // namespace qorlog::platform
