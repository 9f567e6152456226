// CLogViewerNotifier: records reach the viewer byte for byte, a viewer that is
// not running is started hidden from its install folder, and every failure
// (stale handle, no install folder, a viewer that never publishes) is quiet
// and bounded.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>

#include "notify/log_viewer_notifier.h"
#include "notify/notify_names.h"
#include "tests/notify/notify_test_util.h"
#include "tests/platform/receiver_child.h"

namespace qorlog::testing {
namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

ReceiverChild::Options ViewerAt(platform::HWND published = 0) {
  ReceiverChild::Options o;
  o.mapping = std::u16string(kViewerMappingName);
  o.reply = 1;
  o.published = published;
  return o;
}

// An install folder whose "qorlog" is this test program acting as the viewer.
class FakeViewerInstall {
 public:
  explicit FakeViewerInstall(const IsolatedEnv& env) : report_(env.root() / "viewer-report") {
    fs::create_directories(env.root() / "bin");
    fs::create_symlink(fs::read_symlink("/proc/self/exe"), env.root() / "bin" / "qorlog");
    env.WriteRegistry(InstallPathLines(env.root() / "bin/"));
    setenv("QORLOG_TEST_FAKE_VIEWER", report_.c_str(), 1);
  }
  ~FakeViewerInstall() { unsetenv("QORLOG_TEST_FAKE_VIEWER"); }
  const fs::path& report() const { return report_; }

 private:
  fs::path report_;
};

TEST(ViewerNotifierTest, RecordsArriveByteForByteWithTheirIdentifiers) {
  IsolatedEnv env;
  ReceiverChild viewer(ViewerAt());
  ASSERT_NE(viewer.window(), 0u);
  CLogViewerNotifier notifier;
  EXPECT_EQ(notifier.FindViewerWindow(), viewer.window());
  const auto fw = Patterned<stFW_LOG_W>(1);
  auto simple = Patterned<stSIMPLE_LOG_NOTIFY_W>(2);
  simple.dwKind = 1003;
  const auto pc = Patterned<stPC_SCAN_LOG_W>(3);
  struct Case {
    const char* what;
    std::function<int()> send;
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
  FakeViewerInstall install(env);
  platform::HWND stale = 0;
  {
    platform::MessageWindow gone;
    ASSERT_EQ(gone.Create(nullptr), 0u);
    stale = gone.handle();
  }
  ReceiverChild viewer(ViewerAt(stale));
  CLogViewerNotifier notifier;
  EXPECT_EQ(notifier.FindViewerWindow(), stale);
  const auto fw = Patterned<stFW_LOG_W>(4);
  EXPECT_EQ(notifier.NotifyFWLog(&fw), 0);
  EXPECT_FALSE(viewer.Next(200));
  EXPECT_FALSE(fs::exists(install.report()));  // no viewer was started
}

TEST(ViewerNotifierTest, MissingViewerIsStartedHiddenAndReceivesTheRecord) {
  IsolatedEnv env;
  FakeViewerInstall install(env);
  const int fds_before = OpenDescriptorCount();
  CLogViewerNotifier notifier;
  ASSERT_EQ(notifier.FindViewerWindow(), 0u);
  const auto fw = Patterned<stFW_LOG_W>(5);
  EXPECT_EQ(notifier.NotifyFWLog(&fw), 7);  // the started viewer's answer
  EXPECT_EQ(ReadFile(install.report()),
            "id=204 size=804\nstdin=/dev/null\nstdout=/dev/null\nleader=1\n");
  EXPECT_EQ(ReadFile(install.report().string() + ".bytes"), BytesOf(fw));
  EXPECT_EQ(OpenDescriptorCount(), fds_before);
  EXPECT_TRUE(HasNoChildren());
}

TEST(ViewerNotifierTest, NoInstallPathMeansNoLaunch) {
  IsolatedEnv env;  // its registry file has no viewer key
  CLogViewerNotifier notifier;
  WCHAR folder[260] = {};
  EXPECT_EQ(notifier.GetViewerInstallPath(folder), 0);
  EXPECT_EQ(notifier.FindOrLaunchViewer(), 0u);
  const auto fw = Patterned<stFW_LOG_W>(6);
  EXPECT_EQ(notifier.NotifyFWLog(&fw), 0);
  EXPECT_TRUE(HasNoChildren());

  // The value is read with a limit of 260 bytes, terminator included.
  env.WriteRegistry(InstallPathLines(fs::path("/opt/") / std::string(124, 'v')));  // 129 characters
  EXPECT_EQ(notifier.GetViewerInstallPath(folder), 1);
  EXPECT_EQ(std::u16string(folder), u"/opt/" + std::u16string(124, u'v'));
  env.WriteRegistry(InstallPathLines(fs::path("/opt/") / std::string(125, 'v')));
  EXPECT_EQ(notifier.GetViewerInstallPath(folder), 0);
}

TEST(ViewerNotifierTest, ViewerThatNeverPublishesCostsOneBoundedLaunch) {
  IsolatedEnv env;
  fs::create_directories(env.root() / "bin");
  const fs::path count = env.root() / "launches";
  {
    std::ofstream script(env.root() / "bin" / "qorlog");
    script << "#!/bin/sh\necho started >> '" << count.string() << "'\nexec sleep 5\n";
  }
  fs::permissions(env.root() / "bin" / "qorlog", fs::perms::owner_all);
  env.WriteRegistry(InstallPathLines(env.root() / "bin"));
  CLogViewerNotifier notifier;
  const auto fw = Patterned<stFW_LOG_W>(7);
  const auto start = Clock::now();
  EXPECT_EQ(notifier.NotifyFWLog(&fw), 0);
  const double waited = std::chrono::duration<double>(Clock::now() - start).count();
  EXPECT_GE(waited, 2.9);
  EXPECT_LT(waited, 4.0);
  EXPECT_EQ(ReadFile(count), "started\n");
}

TEST(ViewerNotifierTest, LaunchProcessQuotesThePathAndPassesArguments) {
  TempDir dir;
  const fs::path program = dir.path() / "with blank";
  {
    std::ofstream script(program);
    script << "#!/bin/sh\nexit $(( $1 + $# ))\n";
  }
  fs::permissions(program, fs::perms::owner_all);
  CLogViewerNotifier notifier;
  DWORD code = 0;
  const std::u16string path = program.u16string();
  EXPECT_EQ(notifier.LaunchProcess(path.c_str(), u"40 \"two words\"", 0xFFFFFFFF, 1, &code), 1);
  EXPECT_EQ(code, 42u);
  EXPECT_EQ(notifier.LaunchProcess(u"", nullptr, 0, 0, nullptr), 0);
  EXPECT_EQ(notifier.LaunchProcess(nullptr, nullptr, 0, 0, nullptr), 0);
  EXPECT_EQ(notifier.LaunchProcess(u"/nonexistent/qorlog", nullptr, 100, 0, nullptr), 0);
}

}  // namespace
}  // namespace qorlog::testing
