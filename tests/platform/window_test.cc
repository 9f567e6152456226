// Window messages between processes: registered numbers, the three sending
// calls, WM_COPYDATA copies, and windows whose owner is gone or hung.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/errors.h"
#include "platform/window.h"
#include "platform/window_publication.h"
#include "tests/platform/receiver_child.h"
#include "tests/support/temp_env.h"

namespace qorlog::platform {
namespace {

using testing::ReceiverChild;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST(RegisteredMessageTest, SameNameSameNumberInEveryProcess) {
  const UINT tray = RegisterWindowMessageA("WM_QOR_CONTROL_MESSAGE_TRAY");
  const UINT flicker = RegisterWindowMessageA("WM_QOR_CONTROL_MESSAGE_TRAY_FLICKER");
  EXPECT_GE(tray, kFirstRegisteredMessage);
  EXPECT_LE(tray, kLastRegisteredMessage);
  EXPECT_NE(tray, flicker);
  EXPECT_EQ(RegisterWindowMessageA("wm_qor_control_message_tray"), tray);
  EXPECT_EQ(RegisterWindowMessageA(""), 0u);
  // Another process computes the same number.
  const pid_t pid = fork();
  if (pid == 0) _exit(RegisterWindowMessageA("WM_QOR_CONTROL_MESSAGE_TRAY") == tray ? 0 : 1);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(WindowMessageTest, SendPostAndCopyDataReachAnotherProcess) {
  ReceiverChild::Options options;
  options.reply = 4242;
  ReceiverChild child(options);
  ASSERT_NE(child.window(), 0u);
  EXPECT_TRUE(IsWindow(child.window()));

  const char bytes[] = {'a', 0, 'b', '\xff', 0, 7};
  CopyDataStruct cds{204, sizeof bytes, bytes};
  EXPECT_EQ(SendMessageW(child.window(), kWmCopyData, 0, ToLParam(&cds)), 4242);
  auto m = child.Next();
  ASSERT_TRUE(m);
  EXPECT_TRUE(m->copy_data);
  EXPECT_EQ(m->id, 204u);
  EXPECT_EQ(m->bytes, std::string(bytes, sizeof bytes));

  LRESULT result = 0;
  EXPECT_EQ(SendMessageTimeoutW(child.window(), 0xC123, 7, -5, kSmtoAbortIfHung, 2000, &result), 1);
  EXPECT_EQ(result, 4242);
  m = child.Next();
  ASSERT_TRUE(m);
  EXPECT_EQ(m->msg, 0xC123u);
  EXPECT_EQ(m->wparam, 7u);
  EXPECT_EQ(m->lparam, -5);

  EXPECT_TRUE(PostMessageW(child.window(), 0xC124, 1, 2));
  m = child.Next();
  ASSERT_TRUE(m);
  EXPECT_EQ(m->msg, 0xC124u);
  EXPECT_EQ(m->lparam, 2);

  // WM_COPYDATA needs its sender to wait while the bytes are in use.
  EXPECT_FALSE(PostMessageW(child.window(), kWmCopyData, 0, ToLParam(&cds)));
  EXPECT_EQ(GetLastError(), kErrorMessageSyncOnly);
  // A payload that does not fit in one packet is refused, not cut.
  std::string big(kMaxCopyDataBytes + 1, 'x');
  CopyDataStruct too_big{1, static_cast<DWORD>(big.size()), big.data()};
  EXPECT_EQ(SendMessageW(child.window(), kWmCopyData, 0, ToLParam(&too_big)), 0);
  EXPECT_FALSE(child.Next(200));
}

TEST(WindowMessageTest, WindowOfAGoneOwnerIsNoWindow) {
  ReceiverChild child({});
  const HWND window = child.window();
  ASSERT_TRUE(IsWindow(window));
  child.Kill();
  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(IsWindow(0));
  const auto start = Clock::now();
  EXPECT_EQ(SendMessageW(window, 0xC200, 0, 0), 0);
  EXPECT_EQ(SendMessageTimeoutW(window, 0xC200, 0, 0, kSmtoAbortIfHung, 2000, nullptr), 0);
  EXPECT_FALSE(PostMessageW(window, 0xC200, 0, 0));
  EXPECT_LT(SecondsSince(start), 0.5);
}

TEST(WindowMessageTest, HungReceiverCostsATimedSendItsTimeOut) {
  ReceiverChild::Options options;
  options.hung = true;
  ReceiverChild child(options);
  ASSERT_TRUE(IsWindow(child.window()));
  auto start = Clock::now();
  EXPECT_EQ(SendMessageTimeoutW(child.window(), 0xC300, 0, 0, kSmtoAbortIfHung, 2000, nullptr), 0);
  EXPECT_EQ(GetLastError(), kErrorTimeout);
  const double waited = SecondsSince(start);
  EXPECT_GE(waited, 1.9);
  EXPECT_LT(waited, 2.8);
  // A receiver that dies while a sender waits releases it at once.
  std::thread killer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    child.Kill();
  });
  start = Clock::now();
  EXPECT_EQ(SendMessageW(child.window(), 0xC300, 0, 0), 0);
  killer.join();
  EXPECT_LT(SecondsSince(start), 1.5);
}

TEST(WindowMessageTest, LoopStopsFromAnotherThreadAndSelfSendsDoNotDeadlock) {
  MessageWindow window;
  std::vector<UINT> seen;
  ASSERT_EQ(window.Create([&](UINT msg, WPARAM, LPARAM) -> LRESULT {
    seen.push_back(msg);
    // A send to the own window from the loop thread calls the handler.
    if (msg == 0xC400) return 1 + SendMessageW(window.handle(), 0xC401, 0, 0);
    return 10;
  }),
            0u);
  LRESULT result = 0;
  std::thread sender([&] {
    result = SendMessageW(window.handle(), 0xC400, 0, 0);
    window.Stop();
  });
  EXPECT_EQ(window.Run(), 0u);
  sender.join();
  EXPECT_EQ(result, 11);
  EXPECT_EQ(seen, (std::vector<UINT>{0xC400, 0xC401}));
  const HWND handle = window.handle();
  window.Destroy();
  EXPECT_FALSE(IsWindow(handle));
}

TEST(WindowMessageTest, SendingLeaksNoDescriptor) {
  ReceiverChild child({});
  const int before = testing::OpenDescriptorCount();
  for (int i = 0; i < 20; ++i) {
    CopyDataStruct cds{1, 3, "abc"};
    SendMessageW(child.window(), kWmCopyData, 0, ToLParam(&cds));
    PostMessageW(child.window(), 0xC500, 0, 0);
    IsWindow(child.window());
  }
  for (int i = 0; i < 40; ++i) ASSERT_TRUE(child.Next());
  EXPECT_EQ(testing::OpenDescriptorCount(), before);
}

// A published window is found while its publisher holds the name; a second
// publisher is refused while the first one's window lives, and takes over a
// name whose window is gone.
TEST(WindowPublicationTest, OnePublisherPerNameWhileItsWindowLives) {
  testing::IsolatedEnv env;
  constexpr char16_t kName[] = u"QorLogTestPublished";
  EXPECT_EQ(FindPublishedWindow(kName), 0u);
  HWND gone = 0;
  {
    ReceiverChild::Options options;
    options.mapping = kName;
    ReceiverChild child(options);
    ASSERT_NE(child.window(), 0u);
    EXPECT_EQ(FindPublishedWindow(kName), child.window());
    WindowPublication second;
    EXPECT_EQ(second.Publish(kName, 42), kErrorAlreadyExists);
    EXPECT_EQ(FindPublishedWindow(kName), child.window());
    gone = child.window();
  }
  EXPECT_EQ(FindPublishedWindow(kName), 0u);  // nobody holds the name

  ReceiverChild::Options options;
  options.mapping = kName;
  options.published = gone;  // holds the name with a dead window's handle
  ReceiverChild stale(options);
  ASSERT_EQ(FindPublishedWindow(kName), gone);
  WindowPublication mine;
  EXPECT_EQ(mine.Publish(kName, 42), 0u);
  EXPECT_EQ(FindPublishedWindow(kName), 42u);
  mine.Withdraw();
  EXPECT_EQ(FindPublishedWindow(kName), 42u);  // the other holder keeps the mapping alive
}

}  // namespace
}  // namespace qorlog::platform
