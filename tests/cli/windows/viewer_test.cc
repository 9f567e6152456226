// qorlog.exe as the library's viewer: the library starts it hidden from the
// viewer's install folder; its hidden top-level window is found under the
// viewer's name and takes the records; a WM_CLOSE ends the program, and its
// window and name go with it.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "notify/log_viewer_notifier.h"
#include "tests/notify/notify_test_util.h"

namespace qorlog::testing {

// True for a top-level window that is not shown (top_level_window.cc).
bool IsHiddenTopLevelWindow(platform::HWND window);

namespace {

TEST(QorlogExeViewerTest, StartedByTheLibraryItTakesTheRecordAndEndsOnClose) {
  IsolatedEnv env;
  ViewerInstallPath install_path(env);
  install_path.Set(QORLOG_EXE_DIR);
  CLogViewerNotifier notifier;
  ASSERT_EQ(notifier.FindViewerWindow(), 0u) << "a viewer is running already";
  const stFW_LOG_W record = {};
  // qorlog.exe is a console program, which the system does not wait for to
  // be idle for input: the record that starts it comes before its window,
  // and only the next one reaches it.
  notifier.NotifyFWLog(&record);
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (notifier.FindViewerWindow() == 0 && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(notifier.NotifyFWLog(&record), 1);  // watch's answer for a record it showed
  const platform::HWND window = notifier.FindViewerWindow();
  ASSERT_TRUE(platform::IsWindow(window));
  const bool top_level = IsHiddenTopLevelWindow(window);

  EXPECT_EQ(platform::SendMessageW(window, platform::kWmClose, 0, 0), 0);
  while (platform::IsWindow(window) && std::chrono::steady_clock::now() < until + std::chrono::seconds(10)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_FALSE(platform::IsWindow(window));
  EXPECT_EQ(notifier.FindViewerWindow(), 0u);
  if (!top_level) GTEST_SKIP() << "no desktop here (Wine without a display): the window was a message-only one";
}

}  // namespace
}  // namespace qorlog::testing
