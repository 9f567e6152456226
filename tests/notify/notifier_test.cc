// CLogViewerNotifier: records reach the viewer byte for byte, a viewer that is
// not running is started hidden from its install folder, and every failure
// (stale handle, no install folder, a viewer that never publishes) is quiet
// and bounded.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>

#include "notify/log_viewer_notifier.h"
#include "notify/notify_names.h"
#include "platform/process.h"
#include "tests/notify/notify_test_util.h"
#include "tests/support/process_census.h"
#include "tests/support/window_receiver.h"

namespace qorlog::testing {
namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

// The launch test's program: ends with its first argument plus the number of
// its arguments.
QORLOG_CHILD_ROLE("sum-args", [](const std::vector<std::string>& args, const ChildChannel&) {
  return std::stoi(args.at(0)) + static_cast<int>(args.size());
});

TEST(ViewerNotifierTest, RecordsArriveByteForByteWithTheirIdentifiers) {
  IsolatedEnv env;
  Receiver viewer(kViewerMappingName, {.record_copy_data = true});
  ASSERT_NE(viewer.window(), 0u);
  CLogViewerNotifier notifier;
  EXPECT_EQ(notifier.FindViewerWindow(), viewer.window());
  const auto fw = Patterned<stFW_LOG_W>(1);
  auto simple = Patterned<stSIMPLE_LOG_NOTIFY_W>(2);
  simple.dwKind = 1003;
  const auto pc = Patterned<stPC_SCAN_LOG_W>(3);
  struct Case {
    const char* what;
    std::function<platform::LRESULT()> send;
    std::uint64_t id;
    std::string bytes;
  };
  const Case cases[] = {
      {"firewall", [&] { return notifier.NotifyFWLog(&fw); }, 204, BytesOf(fw)},
      {"simple", [&] { return notifier.NotifySimpleLog(&simple); }, 202, BytesOf(simple)},
      {"pc scan", [&] { return notifier.NotifyPCScanLog(&pc); }, 206, BytesOf(pc)},
      // Texts carry 2 x characters + 1 bytes: the low byte of the terminator.
      {"text", [&] { return notifier.SendViewerText(u"abc"); }, 200, std::string("a\0b\0c\0\0", 7)},
      {"command", [&] { return notifier.SendViewerCommand(nullptr); }, 201, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.send(), 1);
    auto m = viewer.Next();
    ASSERT_TRUE(m);
    EXPECT_EQ(m->msg, platform::kWmCopyData);
    EXPECT_EQ(m->wparam, 0u);
    EXPECT_EQ(m->id, c.id);
    EXPECT_EQ(m->bytes, c.bytes);
  }
  EXPECT_EQ(notifier.NotifyFWLog(nullptr), 0);
  EXPECT_EQ(notifier.SendViewerText(nullptr), 0);
  EXPECT_FALSE(viewer.Next(200));
}

TEST(ViewerNotifierTest, StaleHandleSendsNothingAndLaunchesNothing) {
  IsolatedEnv env;
  platform::HWND stale = 0;
  {
    platform::MessageWindow gone;
    ASSERT_EQ(gone.Create(nullptr), 0u);
    stale = gone.handle();
  }
  Receiver viewer(kViewerMappingName, {.published = stale, .record_copy_data = true});
  FakeViewerInstall install(env);  // after the receiver, which would run as the viewer too
  CLogViewerNotifier notifier;
  EXPECT_EQ(notifier.FindViewerWindow(), stale);
  const auto fw = Patterned<stFW_LOG_W>(4);
  EXPECT_EQ(notifier.NotifyFWLog(&fw), 0);
  EXPECT_FALSE(viewer.Next(200));
  EXPECT_FALSE(fs::exists(install.report().string() + ".starts"));  // no viewer was started
}

TEST(ViewerNotifierTest, MissingViewerIsStartedHiddenAndReceivesTheRecord) {
  IsolatedEnv env;
  FakeViewerInstall install(env);
  const int handles_before = OpenHandleCount();
  CLogViewerNotifier notifier;
  ASSERT_EQ(notifier.FindViewerWindow(), 0u);
  const auto fw = Patterned<stFW_LOG_W>(5);
  EXPECT_EQ(notifier.NotifyFWLog(&fw), 7);  // the started viewer's answer
  EXPECT_EQ(ReadFile(install.report()), "id=204 size=804 hidden=1\n");
  EXPECT_EQ(ReadFile(install.report().string() + ".bytes"), BytesOf(fw));
  EXPECT_EQ(OpenHandleCount(), handles_before);
  EXPECT_TRUE(HasNoChildren());
}

TEST(ViewerNotifierTest, NoInstallPathMeansNoLaunch) {
  IsolatedEnv env;  // no install folder
  ViewerInstallPath install_path(env);
  CLogViewerNotifier notifier;
  WCHAR folder[260] = {};
  EXPECT_EQ(notifier.GetViewerInstallPath(folder), 0);
  EXPECT_EQ(notifier.FindOrLaunchViewer(), 0u);
  const auto fw = Patterned<stFW_LOG_W>(6);
  EXPECT_EQ(notifier.NotifyFWLog(&fw), 0);
  EXPECT_TRUE(HasNoChildren());

  // The value is read with a limit of 260 bytes, terminator included.
  const fs::path base = env.root().root_path() / "opt";
  const std::size_t room = 129 - base.u16string().size() - 1;
  install_path.Set(base / std::string(room, 'v'));  // 129 characters
  EXPECT_EQ(notifier.GetViewerInstallPath(folder), 1);
  EXPECT_EQ(std::u16string(folder), (base / std::string(room, 'v')).u16string());
  install_path.Set(base / std::string(room + 1, 'v'));
  EXPECT_EQ(notifier.GetViewerInstallPath(folder), 0);
}

TEST(ViewerNotifierTest, ViewerThatNeverGetsReadyCostsOneBoundedLaunch) {
  IsolatedEnv env;
  FakeViewerInstall install(env, "silent");
  CLogViewerNotifier notifier;
  const auto fw = Patterned<stFW_LOG_W>(7);
  const auto start = Clock::now();
  EXPECT_EQ(notifier.NotifyFWLog(&fw), 0);
  const double waited = std::chrono::duration<double>(Clock::now() - start).count();
  EXPECT_GE(waited, 2.9);
  EXPECT_LT(waited, 4.0);
  EXPECT_EQ(ReadFile(install.report().string() + ".starts"), "started\n");
}

TEST(ViewerNotifierTest, LaunchProcessQuotesThePathAndPassesArguments) {
  TempDir dir;
  const fs::path program = dir.path() / (u"with blank" + std::u16string(platform::kProgramFileSuffix));
  fs::copy_file(SelfPath(), program);
  CLogViewerNotifier notifier;
  DWORD code = 0;
  const std::u16string path = program.u16string();
  const std::u16string arguments = u"--child sum-args \"" + dir.path().u16string() + u"\" 40 \"two words\"";
  EXPECT_EQ(notifier.LaunchProcess(path.c_str(), arguments.c_str(), 0xFFFFFFFF, 1, &code), 1);
  EXPECT_EQ(code, 42u);
  EXPECT_EQ(notifier.LaunchProcess(u"", nullptr, 0, 0, nullptr), 0);
  EXPECT_EQ(notifier.LaunchProcess(nullptr, nullptr, 0, 0, nullptr), 0);
  const std::u16string missing = (dir.path() / "none" / "qorlog").u16string();
  EXPECT_EQ(notifier.LaunchProcess(missing.c_str(), nullptr, 100, 0, nullptr), 0);
}

}  // namespace
}  // namespace qorlog::testing
