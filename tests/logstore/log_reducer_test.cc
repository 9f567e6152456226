// Pruning: the count rule, the size rule, and the files that never count.
#include <sys/stat.h>

#include <cstdio>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "logstore/log_reducer.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "tests/logstore/log_folder_fixture.h"
#include "tests/platform/child_process.h"

namespace qorlog::testing {
namespace {

class ReducerTest : public ::testing::Test {
 protected:
  std::filesystem::path Folder() const { return dir_.path() / "etc"; }
  // Makes `n` usable files of `size` bytes named by day and sequence, oldest
  // first: 2025010100.log, 2025010101.log, ...
  std::vector<std::string> MakeFiles(int n, std::uint64_t size = 100) {
    std::vector<std::string> names;
    for (int i = 0; i < n; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "202501%02d%02d.log", 1 + i / 100, i % 100);
      MakeLogFile(Folder() / name, size);
      names.push_back(name);
    }
    return names;
  }
  DWORD Reduce() { return CLogReducer().Reduce(platform::Utf8ToUtf16(Folder().string())); }
  TempDir dir_;
};

TEST_F(ReducerTest, CountRuleKeepsTheNewestNinetyFromAHundredOn) {
  for (int n : {99, 100, 150}) {
    std::filesystem::remove_all(Folder());
    const auto names = MakeFiles(n);
    ASSERT_EQ(Reduce(), 0u);
    const auto left = FileNames(Folder());
    if (n < 100) {
      EXPECT_EQ(left.size(), 99u);
    } else {
      ASSERT_EQ(left.size(), 90u) << n;
      EXPECT_EQ(left.front(), names[n - 90]);  // the oldest went
      EXPECT_EQ(left.back(), names.back());
    }
  }
}

TEST_F(ReducerTest, SizeRuleDeletesTheOldestDownToNineMebibytes) {
  MakeFiles(11, 0x100000);  // 11 MiB: 2 MiB over 9
  ASSERT_EQ(Reduce(), 0u);
  EXPECT_EQ(FileNames(Folder()).size(), 9u);
  EXPECT_EQ(FileNames(Folder()).front(), "2025010102.log");
}

TEST_F(ReducerTest, SizeRuleStartsAtExactlyTenMebibytes) {
  // Ten files summing to 10 MiB - 1 byte: nothing happens.
  auto names = MakeFiles(10, 0x100000);
  ASSERT_EQ(truncate((Folder() / names[9]).c_str(), 0x100000 - 1), 0);
  ASSERT_EQ(Reduce(), 0u);
  EXPECT_EQ(FileNames(Folder()).size(), 10u);
  // Exactly 10 MiB: the oldest go until 1 MiB is freed (one file).
  ASSERT_EQ(truncate((Folder() / names[9]).c_str(), 0x100000), 0);
  ASSERT_EQ(Reduce(), 0u);
  EXPECT_EQ(FileNames(Folder()).size(), 9u);
  EXPECT_FALSE(std::filesystem::exists(Folder() / names[0]));
}

TEST_F(ReducerTest, FilesThatAreNotUsableNeverCountAndStay) {
  MakeFiles(100);
  MakeLogFile(Folder() / "2024010100.log", 100, 5, false);   // damaged header
  MakeLogFile(Folder() / "2024010101.log", 0x200000);        // 2 MiB
  MakeLogFile(Folder() / "notes.log", 100);                  // letters
  MakeLogFile(Folder() / "2024010102.LOG", 100);             // capitals
  MakeLogFile(Folder() / "2024010103.log.damaged", 100);     // set aside by a writer
  MakeLogFile(Folder() / "2024010104.log", 100);             // held open by a viewer
  const std::u16string held = platform::Utf8ToUtf16((Folder() / "2024010104.log").string());
  HeldChild viewer([&] {
    static platform::File f;
    return f.Open(held, platform::File::modeRead | platform::File::shareDenyNone) ? 0 : 1;
  });
  ASSERT_EQ(viewer.setup_result(), 0);
  ASSERT_EQ(Reduce(), 0u);
  const auto left = FileNames(Folder());
  EXPECT_EQ(left.size(), 90u + 6u);
  for (const char* kept : {"2024010100.log", "2024010101.log", "notes.log", "2024010102.LOG",
                           "2024010103.log.damaged", "2024010104.log"}) {
    EXPECT_TRUE(std::filesystem::exists(Folder() / kept)) << kept;
  }
}

TEST_F(ReducerTest, ReadOnlyFilesAreDeletedLikeOthers) {
  const auto names = MakeFiles(100);
  chmod((Folder() / names[0]).c_str(), 0444);
  ASSERT_EQ(Reduce(), 0u);
  EXPECT_FALSE(std::filesystem::exists(Folder() / names[0]));
  EXPECT_EQ(FileNames(Folder()).size(), 90u);
}

TEST_F(ReducerTest, MissingFolderAndEmptyFolder) {
  EXPECT_EQ(Reduce(), platform::kErrorPathNotFound);
  std::filesystem::create_directories(Folder());
  platform::SetLastError(99);
  EXPECT_EQ(Reduce(), 0u);
  EXPECT_EQ(platform::GetLastError(), 0u);
}

}  // namespace
}  // namespace qorlog::testing
