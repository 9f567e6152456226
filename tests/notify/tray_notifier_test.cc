// CTrayNotifier: every message row with its send mode (none leaving a handle
// open), the "Global\" lookup, the bound on a hung tray, and the presence
// event.
#include "notify/tray_notifier.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <vector>

#include "notify/notify_names.h"
#include "platform/process.h"
#include "tests/notify/notify_test_util.h"
#include "tests/support/process_census.h"
#include "tests/support/window_receiver.h"

namespace qorlog::testing {
namespace {

using Clock = std::chrono::steady_clock;

std::u16string GlobalName(std::u16string_view base) { return u"Global\\" + std::u16string(base); }
const std::u16string kGlobalTray = GlobalName(kTrayMappingName);

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

class TrayNotifierTest : public ::testing::Test {
 protected:
  IsolatedEnv env_;
  GlobalScope global_;
  CTrayNotifier notifier_;
};

TEST_F(TrayNotifierTest, EveryRowReachesTheTrayWithItsParametersAndLeaksNoHandle) {
  Receiver tray(kGlobalTray, {.record_copy_data = true});
  ASSERT_NE(tray.window(), 0u);
  const int handles_before = OpenHandleCount();
  ASSERT_EQ(notifier_.FindTrayWindow(), tray.window());
  const platform::UINT kTray = platform::RegisterWindowMessageA("WM_QOR_CONTROL_MESSAGE_TRAY");
  const platform::UINT kFlicker = platform::RegisterWindowMessageA("WM_QOR_CONTROL_MESSAGE_TRAY_FLICKER");
  EXPECT_EQ(TrayMessage(), kTray);
  EXPECT_EQ(TrayFlickerMessage(), kFlicker);
  const auto simple = Patterned<stSIMPLE_LOG_NOTIFY_W>(1);
  const auto fw = Patterned<stFW_LOG_W>(2);
  const auto pc = Patterned<stPC_SCAN_LOG_W>(3);
  const std::string xyz("x\0y\0z\0\0", 7);
  struct Row {
    std::function<platform::LRESULT()> send;
    platform::UINT msg;
    platform::WPARAM wparam;  // the copy-data identifier for WM_COPYDATA
    platform::LPARAM lparam;
    std::string bytes;
  };
  // Each call is made and its message checked before the next call: Windows
  // hands a receiver sent messages before posted ones.
  std::vector<Row> rows = {
      Row{[&] { return notifier_.NotifyNewLogFile(1001); }, kTray, 111, 1001, ""},
      Row{[&] { return notifier_.SendTrayValue(-5); }, kTray, 101, -5, ""},
      Row{[&] { return notifier_.FlickerTray(9); }, kFlicker, platform::GetCurrentThreadId(), 9, ""},
      Row{[&] { return notifier_.FlickerTray(-9, 44); }, kFlicker, 44, -9, ""},
      Row{[&] { return notifier_.RefreshTray(); }, kTray, 102, 0, ""},
      Row{[&] { return notifier_.PostTrayValue(0xFFFFFFFFu); }, kTray, 103, 0xFFFFFFFFll, ""},
      Row{[&] { return notifier_.UpdateTray(); }, kTray, 104, 0, ""},
      Row{[&] { return notifier_.ResetTray(); }, kTray, 110, 1, ""},
      Row{[&] { return notifier_.SendSimpleLog(&simple); }, platform::kWmCopyData, 115, 0, BytesOf(simple)},
      Row{[&] { return notifier_.SendFWLog(&fw); }, platform::kWmCopyData, 117, 0, BytesOf(fw)},
      Row{[&] { return notifier_.SendPCScanLog(&pc); }, platform::kWmCopyData, 119, 0, BytesOf(pc)},
  };
  for (const platform::WPARAM id : {105, 106, 107, 109, 112, 113, 114}) {
    rows.push_back({[this, id] { return notifier_.SendTrayText(static_cast<DWORD>(id), u"xyz"); },
                    platform::kWmCopyData, id, 0, xyz});
  }
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.msg << "/" << row.wparam);
    EXPECT_EQ(row.send(), 1);
    const auto m = tray.Next();
    ASSERT_TRUE(m);
    EXPECT_EQ(m->msg, row.msg);
    EXPECT_EQ(row.msg == platform::kWmCopyData ? m->id : m->wparam, row.wparam);
    EXPECT_EQ(m->lparam, row.lparam);
    EXPECT_EQ(m->bytes, row.bytes);
  }
  EXPECT_EQ(notifier_.SendTrayText(108, u"xyz"), 0);
  EXPECT_EQ(notifier_.SendTrayText(105, nullptr), 0);
  EXPECT_EQ(notifier_.SendFWLog(nullptr), 0);
  EXPECT_FALSE(tray.Next(200));
  EXPECT_EQ(IsTrayEventPresent(), 0);
  EXPECT_EQ(OpenHandleCount(), handles_before);
}

TEST_F(TrayNotifierTest, TrayIsLookedUpOnlyUnderItsGlobalName) {
  Receiver session_tray(kTrayMappingName);
  EXPECT_EQ(notifier_.FindTrayWindow(), 0u);
  EXPECT_EQ(notifier_.NotifyNewLogFile(1000), 0);
  EXPECT_EQ(notifier_.FlickerTray(1), 0);
  EXPECT_FALSE(session_tray.Next(200));
  // A tray that is gone is not found through the mapping it left.
  Receiver tray(kGlobalTray);
  EXPECT_EQ(notifier_.FindTrayWindow(), tray.window());
  tray.End();
  EXPECT_EQ(notifier_.FindTrayWindow(), 0u);
  EXPECT_EQ(notifier_.NotifyNewLogFile(1000), 0);
}

TEST_F(TrayNotifierTest, HungTrayCostsATimedSendAboutTwoSeconds) {
  Receiver tray(kGlobalTray, {.hung = true});
  ASSERT_EQ(notifier_.FindTrayWindow(), tray.window());
  const auto start = Clock::now();
  EXPECT_EQ(notifier_.NotifyNewLogFile(1001), 0);
  EXPECT_GE(SecondsSince(start), 1.9);
  EXPECT_LT(SecondsSince(start), 2.8);
  // A posted message does not wait at all.
  const auto post_start = Clock::now();
  notifier_.FlickerTray(1);
  EXPECT_LT(SecondsSince(post_start), 0.5);
}

TEST_F(TrayNotifierTest, PresenceEventFollowsItsHolder) {
  EXPECT_EQ(IsTrayEventPresent(), 0);
  {
    Receiver session_holder(u"", {.event = std::u16string(kTrayEventName)});
    EXPECT_EQ(IsTrayEventPresent(), 0);
  }
  Receiver holder(u"", {.event = GlobalName(kTrayEventName)});
  EXPECT_EQ(IsTrayEventPresent(), 1);
  EXPECT_EQ(IsWindowsNT(), 1);
  holder.End();
  EXPECT_EQ(IsTrayEventPresent(), 0);
}

}  // namespace
}  // namespace qorlog::testing
