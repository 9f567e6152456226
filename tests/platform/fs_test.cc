// Directory search, folder creation, attributes, deletion and renaming.
#include "platform/fs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/fault_injection.h"
#include "platform/find_names.h"
#include "platform/text.h"
#include "tests/support/temp_env.h"

namespace qorlog::platform {
namespace {

namespace fs = std::filesystem;
using qorlog::testing::TempDir;

class FsTest : public ::testing::Test {
 protected:
  // `name` inside the test's folder; names are UTF-16, so that the same
  // characters reach the file system on every system.
  std::u16string Path(std::u16string_view name) const {
    return Utf8ToUtf16(dir_.str()) + kPathSeparator + std::u16string(name);
  }
  void MakeFile(std::u16string_view name, const std::string& bytes = "x") const {
    qorlog::testing::WriteFile(fs::path(Path(name)), bytes);
  }
  TempDir dir_;
};

TEST(MatchesPatternTest, WildcardsAndCase) {
  struct Case {
    std::u16string_view pattern, name;
    bool match;
  } cases[] = {
      {u"*.log", u"2026010100.log", true}, {u"*.log", u"x.LOG", true},
      {u"*.LOG", u"x.log", true},          {u"*.log", u"log", false},
      {u"*.log", u"a.log.bak", false},     {u"*.*", u"noext", true},
      {u"*", u"", true},                   {u"??.txt", u"ab.txt", true},
      {u"??.txt", u"abc.txt", false},      {u"a*b*c", u"aXXbYYc", true},
      {u"a*b*c", u"aXXbYY", false},        {u"*a", u"bbba", true},
      {u"", u"x", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MatchesPattern(c.pattern, c.name), c.match) << Utf16ToUtf8(c.pattern) << " vs " << Utf16ToUtf8(c.name);
  }
}

TEST_F(FsTest, SearchReportsNamesKindsSizesAndCodes) {
  MakeFile(u"2026010101.log", "12345");
  MakeFile(u"2026010102.LOG", "");
  MakeFile(u"2026010102.logx", "");
  MakeFile(u"b.txt", "");
  ASSERT_EQ(CreateFolder(Path(u"2026010103.log")), 0u);
  ASSERT_EQ(CreateFolder(Path(u"empty")), 0u);

  std::vector<FindData> found;
  ASSERT_EQ(FindFiles(Path(u"*.log"), &found), 0u);
  std::sort(found.begin(), found.end(), [](auto& x, auto& y) { return x.name < y.name; });
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0].name, u"2026010101.log");
  EXPECT_EQ(found[0].size_low, 5u);
  EXPECT_FALSE(found[0].is_directory);
  EXPECT_EQ(found[1].name, u"2026010102.LOG");
  EXPECT_EQ(found[2].name, u"2026010103.log");
  EXPECT_TRUE(found[2].is_directory);
  ASSERT_EQ(FindFiles(Path(u"*.*"), &found), 0u);
  EXPECT_EQ(found.size(), 8u);  // six entries plus "." and ".."

  FindData entry;
  ASSERT_TRUE(QueryFileEntry(Utf8ToUtf16(dir_.str()), u"2026010101.log", &entry));
  EXPECT_EQ(entry.size_low, 5u);
  EXPECT_FALSE(entry.is_directory);
  EXPECT_FALSE(QueryFileEntry(Utf8ToUtf16(dir_.str()), u"gone", &entry));

  const struct {
    std::u16string pattern;
    DWORD expected;
  } rows[] = {{u"*.dat", kErrorFileNotFound},
              {u"empty" + std::u16string(1, kPathSeparator) + u"*.log", kErrorFileNotFound},
              {u"missing" + std::u16string(1, kPathSeparator) + u"*", kErrorPathNotFound}};
  for (const auto& row : rows) {
    const std::u16string path = Path(row.pattern);
    std::vector<std::u16string> names;
    std::u16string greatest = u"stale";
    EXPECT_EQ(FindFiles(path, &found), row.expected) << Utf16ToUtf8(row.pattern);
    EXPECT_TRUE(found.empty());
    EXPECT_EQ(FindFileNames(path, &names), row.expected) << Utf16ToUtf8(row.pattern);
    EXPECT_EQ(FindGreatestFileName(path, &greatest), row.expected) << Utf16ToUtf8(row.pattern);
    EXPECT_EQ(GetLastError(), row.expected) << Utf16ToUtf8(row.pattern);
    EXPECT_EQ(greatest, u"");
  }
}

// The names-only searches must give the names FindFiles gives, for literal
// starts matched without regard to case and for every kind of rest; the
// greatest name is the last in UTF-16 order (a surrogate pair sorts below
// U+FF21).
TEST_F(FsTest, NameSearchesAgreeWithFindFiles) {
  for (std::u16string_view name :
       {u"2026010100.log", u"2026010101.LOG", u"20260101x.log", u"2026010102.log.old", u"ab", u"abc", u"abc.d",
        u"ABX.e", u"20260101\u00E9z.log", u"other.log", u"zz\uFF21", u"zz\U0001F600", u"zzb"}) {
    MakeFile(name);
  }
  for (std::u16string_view pattern :
       {u"20260101??.log", u"2026010100.log", u"ab*.*", u"*.*", u"AB?", u"ab*", u"2026*.log", u"zz*"}) {
    std::vector<FindData> found;
    const DWORD files_rc = FindFiles(Path(pattern), &found);
    std::vector<std::u16string> expected;
    for (const FindData& f : found) expected.push_back(f.name);
    std::vector<std::u16string> names;
    EXPECT_EQ(FindFileNames(Path(pattern), &names), files_rc) << Utf16ToUtf8(pattern);
    std::sort(expected.begin(), expected.end());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, expected) << Utf16ToUtf8(pattern);
    std::u16string greatest = u"stale";
    EXPECT_EQ(FindGreatestFileName(Path(pattern), &greatest), files_rc) << Utf16ToUtf8(pattern);
    EXPECT_EQ(greatest, expected.empty() ? u"" : expected.back()) << Utf16ToUtf8(pattern);
  }
}

TEST_F(FsTest, FoldersAttributesAndDeletes) {
  const std::u16string sep(1, kPathSeparator);
  EXPECT_EQ(CreateFolder(Path(u"f")), 0u);
  EXPECT_EQ(CreateFolder(Path(u"f")), kErrorAlreadyExists);
  EXPECT_EQ(CreateFolder(Path(u"x" + sep + u"y")), kErrorPathNotFound);
  EXPECT_TRUE(IsFolder(Path(u"f")));
  EXPECT_EQ(DeleteFileNamed(Path(u"f")), kErrorAccessDenied);  // folders are not files

  MakeFile(u"ro.log");
  const fs::path ro(Path(u"ro.log"));
  fs::permissions(ro, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
#ifdef _WIN32
  EXPECT_EQ(DeleteFileNamed(Path(u"ro.log")), kErrorAccessDenied);  // POSIX lets the folder decide
#endif
  EXPECT_TRUE(SetAttributesNormal(Path(u"ro.log")));
  EXPECT_NE(fs::status(ro).permissions() & fs::perms::owner_write, fs::perms::none);
  EXPECT_EQ(DeleteFileNamed(Path(u"ro.log")), 0u);
  EXPECT_EQ(DeleteFileNamed(Path(u"ro.log")), kErrorFileNotFound);
  EXPECT_EQ(DeleteFileNamed(Path(u"none" + sep + u"ro.log")), kErrorPathNotFound);
}

// The recursion over missing parents (its callers' own rules are tested
// with them): a parent that another process makes meanwhile counts as made.
TEST_F(FsTest, FolderTreeMakesParentsAndTakesOneMadeMeanwhile) {
  const std::u16string sep(1, kPathSeparator);
  EXPECT_EQ(CreateFolderTree(Path(u"a" + sep + u"b")), 0u);
  EXPECT_EQ(CreateFolderTree(Path(u"a" + sep + u"b")), kErrorAlreadyExists);
  {
    // The first try finds the parent missing; when the tree goes to make it,
    // it is there.
    fault::ScopedPlan plan;
    plan.Fail(fault::Call::kCreateFolder, 1, kErrorPathNotFound);
    EXPECT_EQ(CreateFolderTree(Path(u"a" + sep + u"c")), 0u);
  }
  EXPECT_TRUE(IsFolder(Path(u"a" + sep + u"c")));
}

TEST_F(FsTest, RenameRefusesAnExistingTargetAndReplaceTakesIt) {
  MakeFile(u"one", "1");
  MakeFile(u"two", "2");
  EXPECT_EQ(MoveFileNamed(Path(u"one"), Path(u"two")), kErrorFileExists);
  EXPECT_EQ(ReplaceFileNamed(Path(u"one"), Path(u"two")), 0u);
  EXPECT_EQ(qorlog::testing::ReadFile(fs::path(Path(u"two"))), "1");
  EXPECT_FALSE(PathExists(Path(u"one")));
  EXPECT_EQ(MoveFileNamed(Path(u"two"), Path(u"three")), 0u);
  EXPECT_EQ(ReplaceFileNamed(Path(u"three"), Path(u"four")), 0u);  // no target yet
  EXPECT_EQ(qorlog::testing::ReadFile(fs::path(Path(u"four"))), "1");
  EXPECT_FALSE(PathExists(Path(u"three")));
}

}  // namespace
}  // namespace qorlog::platform
