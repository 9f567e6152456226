// CTrayNotifier: every message row with its send mode, the "Global\" lookup,
// the bound on a hung tray, and the presence event.
#include <gtest/gtest.h>

#include <chrono>

#include "notify/notify_names.h"
#include "notify/tray_notifier.h"
#include "platform/process.h"
#include "tests/notify/notify_test_util.h"
#include "tests/platform/receiver_child.h"

namespace qorlog::testing {
namespace {

using Clock = std::chrono::steady_clock;

std::u16string GlobalName(std::u16string_view base) { return u"Global\\" + std::u16string(base); }

ReceiverChild::Options TrayAt(std::u16string name, bool hung = false) {
  ReceiverChild::Options o;
  o.mapping = std::move(name);
  o.hung = hung;
  o.reply = 1;
  return o;
}

void ExpectMessage(ReceiverChild& tray, platform::UINT msg, platform::WPARAM wparam, platform::LPARAM lparam) {
  auto m = tray.Next();
  ASSERT_TRUE(m) << "no message " << msg << "/" << wparam;
  EXPECT_EQ(m->msg, msg);
  EXPECT_EQ(m->wparam, wparam);
  EXPECT_EQ(m->lparam, lparam);
}

void ExpectCopyData(ReceiverChild& tray, std::uint64_t id, const std::string& bytes) {
  auto m = tray.Next();
  ASSERT_TRUE(m) << "no WM_COPYDATA " << id;
  EXPECT_EQ(m->msg, platform::kWmCopyData);
  EXPECT_EQ(m->id, id);
  EXPECT_EQ(m->bytes, bytes);
}

TEST(TrayNotifierTest, EveryRowReachesTheTrayWithItsParameters) {
  IsolatedEnv env;
  GlobalScope global;
  ReceiverChild tray(TrayAt(GlobalName(kTrayMappingName)));
  ASSERT_NE(tray.window(), 0u);
  CTrayNotifier notifier;
  ASSERT_EQ(notifier.FindTrayWindow(), tray.window());
  const platform::UINT kTray = platform::RegisterWindowMessageA("WM_QOR_CONTROL_MESSAGE_TRAY");
  const platform::UINT kFlicker = platform::RegisterWindowMessageA("WM_QOR_CONTROL_MESSAGE_TRAY_FLICKER");
  EXPECT_EQ(TrayMessage(), kTray);
  EXPECT_EQ(TrayFlickerMessage(), kFlicker);

  EXPECT_EQ(notifier.NotifyNewLogFile(1001), 1);
  ExpectMessage(tray, kTray, 111, 1001);
  EXPECT_EQ(notifier.SendTrayValue(-5), 1);
  ExpectMessage(tray, kTray, 101, -5);
  EXPECT_EQ(notifier.FlickerTray(9), 1);
  ExpectMessage(tray, kFlicker, platform::GetCurrentThreadId(), 9);
  EXPECT_EQ(notifier.FlickerTray(-9, 44), 1);
  ExpectMessage(tray, kFlicker, 44, -9);
  EXPECT_EQ(notifier.RefreshTray(), 1);
  ExpectMessage(tray, kTray, 102, 0);
  EXPECT_EQ(notifier.PostTrayValue(0xFFFFFFFFu), 1);
  ExpectMessage(tray, kTray, 103, 0xFFFFFFFFll);
  EXPECT_EQ(notifier.UpdateTray(), 1);
  ExpectMessage(tray, kTray, 104, 0);
  EXPECT_EQ(notifier.ResetTray(), 1);
  ExpectMessage(tray, kTray, 110, 1);

  for (DWORD id : {105u, 106u, 107u, 109u, 112u, 113u, 114u}) {
    EXPECT_EQ(notifier.SendTrayText(id, u"xyz"), 1) << id;
    ExpectCopyData(tray, id, std::string("x\0y\0z\0\0", 7));
  }
  EXPECT_EQ(notifier.SendTrayText(108, u"xyz"), 0);
  EXPECT_EQ(notifier.SendTrayText(105, nullptr), 0);

  const auto simple = Patterned<stSIMPLE_LOG_NOTIFY_W>(1);
  const auto fw = Patterned<stFW_LOG_W>(2);
  const auto pc = Patterned<stPC_SCAN_LOG_W>(3);
  EXPECT_EQ(notifier.SendSimpleLog(&simple), 1);
  ExpectCopyData(tray, 115, BytesOf(simple));
  EXPECT_EQ(notifier.SendFWLog(&fw), 1);
  ExpectCopyData(tray, 117, BytesOf(fw));
  EXPECT_EQ(notifier.SendPCScanLog(&pc), 1);
  ExpectCopyData(tray, 119, BytesOf(pc));
  EXPECT_EQ(notifier.SendFWLog(nullptr), 0);
  EXPECT_FALSE(tray.Next(200));
}

TEST(TrayNotifierTest, TrayIsLookedUpOnlyUnderItsGlobalName) {
  IsolatedEnv env;
  GlobalScope global;
  ReceiverChild session_tray(TrayAt(std::u16string(kTrayMappingName)));
  CTrayNotifier notifier;
  EXPECT_EQ(notifier.FindTrayWindow(), 0u);
  EXPECT_EQ(notifier.NotifyNewLogFile(1000), 0);
  EXPECT_EQ(notifier.FlickerTray(1), 0);
  EXPECT_FALSE(session_tray.Next(200));
  // A tray that is gone is not found through the mapping it left.
  ReceiverChild tray(TrayAt(GlobalName(kTrayMappingName)));
  EXPECT_EQ(notifier.FindTrayWindow(), tray.window());
  tray.Kill();
  EXPECT_EQ(notifier.FindTrayWindow(), 0u);
  EXPECT_EQ(notifier.NotifyNewLogFile(1000), 0);
}

TEST(TrayNotifierTest, HungTrayCostsATimedSendAboutTwoSeconds) {
  IsolatedEnv env;
  GlobalScope global;
  ReceiverChild tray(TrayAt(GlobalName(kTrayMappingName), true));
  CTrayNotifier notifier;
  ASSERT_EQ(notifier.FindTrayWindow(), tray.window());
  const auto start = Clock::now();
  EXPECT_EQ(notifier.NotifyNewLogFile(1001), 0);
  const double waited = std::chrono::duration<double>(Clock::now() - start).count();
  EXPECT_GE(waited, 1.9);
  EXPECT_LT(waited, 2.8);
  // A posted message does not wait at all.
  const auto post_start = Clock::now();
  notifier.FlickerTray(1);
  EXPECT_LT(std::chrono::duration<double>(Clock::now() - post_start).count(), 0.5);
}

TEST(TrayNotifierTest, PresenceEventFollowsItsHolder) {
  IsolatedEnv env;
  GlobalScope global;
  EXPECT_EQ(IsTrayEventPresent(), 0);
  {
    ReceiverChild::Options bare;
    bare.event = std::u16string(kTrayEventName);
    ReceiverChild session_holder(bare);
    EXPECT_EQ(IsTrayEventPresent(), 0);
  }
  ReceiverChild::Options global_event;
  global_event.event = GlobalName(kTrayEventName);
  ReceiverChild holder(global_event);
  EXPECT_EQ(IsTrayEventPresent(), 1);
  EXPECT_EQ(IsWindowsNT(), 1);
  holder.Kill();
  EXPECT_EQ(IsTrayEventPresent(), 0);
}

TEST(TrayNotifierTest, NotifyingLeaksNoDescriptor) {
  IsolatedEnv env;
  GlobalScope global;
  ReceiverChild tray(TrayAt(GlobalName(kTrayMappingName)));
  CTrayNotifier notifier;
  const int before = OpenDescriptorCount();
  for (int i = 0; i < 10; ++i) {
    notifier.NotifyNewLogFile(1000);
    notifier.FlickerTray(i);
    IsTrayEventPresent();
  }
  for (int i = 0; i < 20; ++i) ASSERT_TRUE(tray.Next());
  EXPECT_EQ(OpenDescriptorCount(), before);
}

}  // namespace
}  // namespace qorlog::testing
