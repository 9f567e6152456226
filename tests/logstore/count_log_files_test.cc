// The file list of a category and the order it is sorted in.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "logstore/log_util.h"
#include "logstore/sorted_string_array.h"
#include "platform/text.h"
#include "tests/support/temp_env.h"

namespace qorlog {
namespace {

using platform::Utf16ToUtf8;
using testing::IsolatedEnv;

// Writes an empty file, creating its folder first.
void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  testing::WriteFile(path, bytes);
}

std::vector<std::unique_ptr<void, decltype(&std::free)>> g_blocks;
void* TestAlloc(std::size_t bytes) {
  void* p = std::calloc(1, bytes == 0 ? 1 : bytes);
  g_blocks.emplace_back(p, &std::free);
  return p;
}
void* FailingAlloc(std::size_t) { return nullptr; }

std::vector<std::string> Paths(const stLOG_FILE_ITEM* list, DWORD count) {
  std::vector<std::string> out;
  for (DWORD i = 0; i < count; ++i) out.push_back(Utf16ToUtf8(list[i].szPath));
  return out;
}

TEST(CountLogFilesTest, ListsLogExtensionsCaseSensitivelySortedWithoutCase) {
  IsolatedEnv env;
  const auto folder = env.CategoryFolder("firewall");
  std::filesystem::create_directories(folder / "old.log");
  for (const char* name : {"2024010201.log", "log", "x.LOG", "2024010200.log", "notes.txt", "B.log", "a.log",
                           "2023123100.log.bak"}) {
    WriteFile(folder / name, "");
  }
  CLogUtil util;
  stLOG_FILE_ITEM* list = nullptr;
  const DWORD count = util.CountLogFiles(1001, &list, &TestAlloc);
  ASSERT_EQ(count, 6u);
  const std::string base = folder.string() + "/";
  EXPECT_EQ(Paths(list, count), (std::vector<std::string>{base + "2024010200.log", base + "2024010201.log",
                                                          base + "a.log", base + "B.log", base + "log",
                                                          base + "old.log"}));
  for (DWORD i = 0; i < count; ++i) {
    EXPECT_EQ(list[i].dwRecordKind, 1001u);
    EXPECT_EQ(list[i].dwKind, 1001u);
    EXPECT_EQ(list[i].dwReserved, 0u);
    EXPECT_EQ(list[i].dwReserved2, 0u);
  }
}

TEST(CountLogFilesTest, RecordKindFollowsTheKind) {
  IsolatedEnv env;
  WriteFile(env.CategoryFolder("etc") / "2024010100.log", "");
  WriteFile(env.CategoryFolder("pellora i") / "2024010100.log", "");
  CLogUtil util;
  struct Case {
    DWORD kind;
    DWORD record_kind;
  };
  for (Case c : {Case{0, 1000}, Case{999, 1000}, Case{5000, 1002}, Case{1004, 1002}}) {
    stLOG_FILE_ITEM* list = nullptr;
    ASSERT_EQ(util.CountLogFiles(c.kind, &list, &TestAlloc), 1u) << c.kind;
    EXPECT_EQ(list[0].dwRecordKind, c.record_kind);
    EXPECT_EQ(list[0].dwKind, c.kind);
  }
}

TEST(CountLogFilesTest, MissingFolderGivesAnEmptyBlockAndFailedAllocationNull) {
  IsolatedEnv env;
  CLogUtil util;
  stLOG_FILE_ITEM* list = nullptr;
  EXPECT_EQ(util.CountLogFiles(1000, &list, &TestAlloc), 0u);
  EXPECT_NE(list, nullptr);

  WriteFile(env.CategoryFolder("pc scan") / "2024010100.log", "");
  EXPECT_EQ(util.CountLogFiles(1000, &list, &FailingAlloc), 0u);
  EXPECT_EQ(list, nullptr);
  g_blocks.clear();
}

TEST(CountLogFilesTest, LongPathsAreCutTo259Characters) {
  IsolatedEnv env;
  const auto folder = env.CategoryFolder("etc");
  const std::string name = std::string(240, 'n') + ".log";
  WriteFile(folder / name, "");
  CLogUtil util;
  stLOG_FILE_ITEM* list = nullptr;
  ASSERT_EQ(util.CountLogFiles(1005, &list, &TestAlloc), 1u);
  const std::string full = folder.string() + "/" + name;
  ASSERT_GT(full.size(), 259u);
  EXPECT_EQ(Utf16ToUtf8(list[0].szPath), full.substr(0, 259));
  g_blocks.clear();
}

// The order the neighbour-swapping passes produce, written out literally.
std::vector<std::u16string> BubbleSorted(std::vector<std::u16string> v) {
  for (bool swapped = true; swapped;) {
    swapped = false;
    for (std::size_t i = 0; i + 1 < v.size(); ++i) {
      if (CompareNoCase(v[i], v[i + 1]) > 0) {
        std::swap(v[i], v[i + 1]);
        swapped = true;
      }
    }
  }
  return v;
}

TEST(SortedStringArrayTest, OrderMatchesNeighbourSwapping) {
  std::mt19937 rng(7);
  const std::u16string alphabet = u"aAbB_[0";
  for (int round = 0; round < 200; ++round) {
    std::vector<std::u16string> input;
    CSortedStringArray array;
    for (int i = 0, n = static_cast<int>(rng() % 12); i < n; ++i) {
      std::u16string s;
      for (int j = 0, len = static_cast<int>(rng() % 4); j < len; ++j) s.push_back(alphabet[rng() % alphabet.size()]);
      input.push_back(s);
      array.Add(s);
    }
    array.SortAscending();
    const auto expected = BubbleSorted(input);
    ASSERT_EQ(array.GetSize(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(array.GetAt(i), expected[i]) << round;
  }
}

TEST(SortedStringArrayTest, CaseIsFoldedToLowerAndEqualStringsKeepTheirOrder) {
  EXPECT_EQ(CompareNoCase(u"ABC", u"abc"), 0);
  EXPECT_LT(CompareNoCase(u"_", u"a"), 0);  // '_' sorts before letters, as with lower-case folding
  EXPECT_LT(CompareNoCase(u"_", u"A"), 0);
  EXPECT_LT(CompareNoCase(u"ab", u"ABC"), 0);
  CSortedStringArray array;
  array.Add(u"B");
  array.Add(u"a");
  array.Add(u"b");
  array.Add(u"A");
  array.SortAscending();
  EXPECT_EQ(array.GetAt(0), u"a");
  EXPECT_EQ(array.GetAt(1), u"A");
  EXPECT_EQ(array.GetAt(2), u"B");
  EXPECT_EQ(array.GetAt(3), u"b");
}

}  // namespace
}  // namespace qorlog
