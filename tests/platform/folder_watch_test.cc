// FolderWatch wakes for changes in watched folders and for a stop request.
#include "platform/folder_watch.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/process.h"
#include "platform/text.h"
#include "tests/support/temp_env.h"

namespace qorlog::platform {
namespace {

using testing::TempDir;
using testing::WriteFile;
using Wake = FolderWatch::Wake;

TEST(FolderWatchTest, WakesForEachKindOfChangeAndOnlyForWatchedFolders) {
  TempDir dir;
  std::filesystem::create_directories(dir.path() / "watched");
  std::filesystem::create_directories(dir.path() / "other");
  FolderWatch watch;
  ASSERT_EQ(watch.Watch(Utf8ToUtf16((dir.path() / "watched").string())), 0u);
  EXPECT_EQ(watch.Watch(Utf8ToUtf16((dir.path() / "missing").string())), 2u);

  EXPECT_EQ(watch.Wait(0), Wake::kTimedOut);
  WriteFile(dir.path() / "other" / "a.log", "x");
  EXPECT_EQ(watch.Wait(0), Wake::kTimedOut);

  const auto file = dir.path() / "watched" / "a.log";
  const std::function<void()> changes[] = {
      [&] { WriteFile(file, "made"); },
      [&] { WriteFile(file, "written again"); },
      [&] { std::filesystem::rename(file, dir.path() / "watched" / "b.log"); },
      [&] { std::filesystem::remove(dir.path() / "watched" / "b.log"); },
  };
  for (const auto& change : changes) {
    change();
    EXPECT_EQ(watch.Wait(kInfinite), Wake::kChanged);
    EXPECT_EQ(watch.Wait(0), Wake::kTimedOut);  // one wake stands for all queued changes
  }
}

TEST(FolderWatchTest, AStopRequestEndsEveryWaitFromThenOn) {
  FolderWatch watch;
  EXPECT_FALSE(StopRequested());
  RequestStop();
  EXPECT_TRUE(StopRequested());
  EXPECT_EQ(watch.Wait(kInfinite), Wake::kStopped);
  EXPECT_EQ(FolderWatch().Wait(kInfinite), Wake::kStopped);
}

}  // namespace
}  // namespace qorlog::platform
