// Pruning: the count rule, the size rule, and the files that never count.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "logstore/log_reducer.h"
#include "platform/errors.h"
#include "tests/logstore/log_test_support.h"
#include "tests/support/spawn_child.h"

namespace qorlog::testing {
namespace {

class ReducerTest : public ::testing::Test {
 protected:
  std::filesystem::path Folder() const { return dir_.path() / "etc"; }
  // Makes `n` usable files of `size` bytes, oldest first: 2025010100.log, ...
  std::vector<std::string> MakeFiles(int n, std::uint64_t size = 100) {
    std::filesystem::remove_all(Folder());
    std::vector<std::string> names;
    for (int i = 0; i < n; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "202501%02d%02d.log", 1 + i / 100, i % 100);
      MakeLogFile(Folder() / name, size);
      names.push_back(name);
    }
    return names;
  }
  DWORD Reduce() { return CLogReducer().Reduce(U16(Folder())); }
  TempDir dir_;
};

// The count rule keeps the newest 90 from 100 files on; the size rule deletes
// the oldest from 10 MiB on until 9 MiB are left.
TEST_F(ReducerTest, OldestFilesGoByCountAndBySize) {
  const struct {
    int files;
    std::uint64_t size, last_size;
    std::size_t left;
  } cases[] = {
      {99, 100, 100, 99},  {100, 100, 100, 90}, {150, 100, 100, 90},
      {10, 0x100000, 0x100000 - 1, 10},  // 10 MiB - 1 byte: nothing happens
      {10, 0x100000, 0x100000, 9},       // exactly 10 MiB: one file freed
      {11, 0x100000, 0x100000, 9},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.files << " files of " << c.size);
    const auto names = MakeFiles(c.files, c.size);
    std::filesystem::resize_file(Folder() / names.back(), c.last_size);
    ASSERT_EQ(Reduce(), 0u);
    const auto left = FileNames(Folder());
    ASSERT_EQ(left.size(), c.left);
    EXPECT_EQ(left.front(), names[c.files - c.left]);  // the oldest went
    EXPECT_EQ(left.back(), names.back());
  }
}

TEST_F(ReducerTest, FilesThatAreNotUsableNeverCountAndStayButReadOnlyOnesGo) {
  const auto names = MakeFiles(100);
  std::filesystem::permissions(Folder() / names[0], std::filesystem::perms::owner_read);
  const char* kept[] = {"2024010100.log", "2024010101.log", "notes.log", "2024010102.LOG", "2024010103.log.damaged",
                        "2024010104.log"};
  MakeLogFile(Folder() / kept[0], 100, 5, false);  // damaged header
  MakeLogFile(Folder() / kept[1], 0x200000);       // 2 MiB
  for (int i = 2; i < 6; ++i) MakeLogFile(Folder() / kept[i], 100);  // letters, capitals, set aside, held
  auto viewer = HoldFile(Folder() / kept[5]);
  ASSERT_EQ(Reduce(), 0u);
  EXPECT_EQ(FileNames(Folder()).size(), 90u + 6u);
  EXPECT_FALSE(std::filesystem::exists(Folder() / names[0]));
  for (const char* name : kept) EXPECT_TRUE(std::filesystem::exists(Folder() / name)) << name;
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
