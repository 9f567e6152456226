// Window messages between processes: registered numbers, the three sending
// calls (which leave no descriptor open), WM_COPYDATA copies, windows whose
// owner is gone or hung, and the publication of a window under a name. The
// receivers are this program started again (tests/support/window_receiver.h).
#include "platform/window.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/errors.h"
#include "platform/window_publication.h"
#include "tests/support/process_census.h"
#include "tests/support/temp_env.h"
#include "tests/support/window_receiver.h"

namespace qorlog::platform {
namespace {

using qorlog::testing::Receiver;
using qorlog::testing::TestMessages;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

class WindowTest : public ::testing::Test {
 protected:
  qorlog::testing::IsolatedEnv env_;  // the publications' session folder
  const TestMessages m_{};
};

TEST(RegisteredMessageTest, NumbersAreInRangeAndCaseBlind) {
  const UINT tray = RegisterWindowMessageA("WM_QOR_CONTROL_MESSAGE_TRAY");
  EXPECT_GE(tray, kFirstRegisteredMessage);
  EXPECT_LE(tray, kLastRegisteredMessage);
  EXPECT_NE(RegisterWindowMessageA("WM_QOR_CONTROL_MESSAGE_TRAY_FLICKER"), tray);
  EXPECT_EQ(RegisterWindowMessageA("wm_qor_control_message_tray"), tray);
  EXPECT_EQ(RegisterWindowMessageA(""), 0u);
}

TEST_F(WindowTest, SendPostAndCopyDataReachAnotherProcess) {
  Receiver receiver(u"QorLogTest.Send");
  const HWND w = receiver.window();
  ASSERT_NE(w, 0u);
  [[maybe_unused]] const int handles = testing::OpenHandleCount();
  EXPECT_TRUE(IsWindow(w));
  EXPECT_EQ(SendMessageW(w, m_.add, 2, 40), 42);
  LRESULT result = 0;
  EXPECT_NE(SendMessageTimeoutW(w, m_.add, 7, -5, kSmtoAbortIfHung, 2000, &result), 0);
  EXPECT_EQ(result, 2);

  const char bytes[] = {'a', 0, 'b', '\xff', 0, 7};
  CopyDataStruct cds{204, sizeof bytes, bytes};
  EXPECT_EQ(SendMessageW(w, kWmCopyData, 0, ToLParam(&cds)), testing::CopyDataHash(204, bytes, sizeof bytes));
  // WM_COPYDATA needs its sender to wait while the bytes are in use.
  EXPECT_FALSE(PostMessageW(w, kWmCopyData, 0, ToLParam(&cds)));
  EXPECT_EQ(GetLastError(), kErrorMessageSyncOnly);
#ifndef _WIN32
  // A payload that does not fit in one packet is refused, not cut (Windows
  // copies any size).
  std::string big(kMaxCopyDataBytes + 1, 'x');
  CopyDataStruct too_big{1, static_cast<DWORD>(big.size()), big.data()};
  EXPECT_EQ(SendMessageW(w, kWmCopyData, 0, ToLParam(&too_big)), 0);
#endif

  for (int i = 1; i <= 3; ++i) EXPECT_TRUE(PostMessageW(w, m_.post, i, 10 * i));
  // Posts do not wait for the handler: ask until all three were handled.
  LRESULT posted = 0;
  for (int i = 0; i < 500 && posted < 66; ++i) {
    posted = SendMessageW(w, m_.count, 0, 0);
    if (posted < 66) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(posted, 66);
#ifndef _WIN32
  EXPECT_EQ(testing::OpenHandleCount(), handles);  // no call left a descriptor open
#endif
}

TEST_F(WindowTest, WindowOfAGoneOwnerIsNoWindow) {
  Receiver receiver(u"QorLogTest.Gone");
  const HWND w = receiver.window();
  ASSERT_TRUE(IsWindow(w));
  EXPECT_EQ(SendMessageW(w, m_.crash, 0, 0), 0);  // the owner dies while handling it
  EXPECT_EQ(receiver.End(), 7);
  EXPECT_FALSE(IsWindow(w));
  EXPECT_FALSE(IsWindow(0));
  const auto start = Clock::now();
  EXPECT_EQ(SendMessageW(w, m_.add, 1, 1), 0);
  EXPECT_EQ(GetLastError(), kErrorInvalidWindowHandle);
  EXPECT_EQ(SendMessageTimeoutW(w, m_.add, 1, 1, kSmtoAbortIfHung, 2000, nullptr), 0);
  EXPECT_FALSE(PostMessageW(w, m_.add, 1, 1));
  EXPECT_LT(SecondsSince(start), 1.0);
  EXPECT_EQ(FindPublishedWindow(u"QorLogTest.Gone"), 0u);  // the crash took the publication too
}

TEST_F(WindowTest, HungReceiverCostsATimedSendItsTimeOut) {
  Receiver receiver(u"QorLogTest.Hung", {.hung = true});
  const HWND w = receiver.window();
  ASSERT_TRUE(IsWindow(w));
  auto start = Clock::now();
  LRESULT result = 5;
  EXPECT_EQ(SendMessageTimeoutW(w, m_.add, 1, 1, kSmtoAbortIfHung, 1000, &result), 0);
  EXPECT_EQ(GetLastError(), kErrorTimeout);
  EXPECT_EQ(result, 5);
  const double waited = SecondsSince(start);
  EXPECT_GE(waited, 0.9);
  EXPECT_LT(waited, 1.8);
  // A receiver that ends while a sender waits releases it at once.
  std::thread ender([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    receiver.End();
  });
  start = Clock::now();
  EXPECT_EQ(SendMessageW(w, m_.add, 1, 1), 0);
  ender.join();
  EXPECT_LT(SecondsSince(start), 1.5);
}

TEST(MessageWindowTest, LoopStopsFromAnotherThreadAndSelfSendsCallTheHandler) {
  MessageWindow window;
  std::vector<UINT> seen;
  ASSERT_EQ(window.Create([&](UINT msg, WPARAM wparam, LPARAM) -> LRESULT {
    seen.push_back(msg);
    // A send to the own window from the loop thread calls the handler.
    if (msg == 0xC400) return 1 + SendMessageW(window.handle(), 0xC401, wparam, 0);
    return static_cast<LRESULT>(wparam);
  }),
            0u);
  window.Stop();
  EXPECT_EQ(window.Run(), 0u);  // a stop that came first ends the loop at once
  EXPECT_EQ(window.RunFor(0), 0u);
  LRESULT answer = 0;
  std::thread sender([&] {
    answer = SendMessageW(window.handle(), 0xC400, 41, 0);
    window.Stop();
  });
  EXPECT_EQ(window.Run(), 0u);
  sender.join();
  EXPECT_EQ(answer, 42);
  EXPECT_EQ(seen, (std::vector<UINT>{0xC400, 0xC401}));
  const HWND gone = window.handle();
  window.Destroy();
  EXPECT_FALSE(IsWindow(gone));
}

// A second publisher is refused while the first one's window lives, and
// takes over a name whose window is gone.
TEST_F(WindowTest, OnePublisherPerNameWhileItsWindowLives) {
  constexpr char16_t kName[] = u"QorLogTest.Published";
  EXPECT_EQ(FindPublishedWindow(kName), 0u);
  HWND gone = 0;
  {
    Receiver receiver(kName);
    ASSERT_NE(receiver.window(), 0u);
    WindowPublication second;
    EXPECT_EQ(second.Publish(kName, 42), kErrorAlreadyExists);
    EXPECT_EQ(FindPublishedWindow(kName), receiver.window());
    gone = receiver.window();
  }
  EXPECT_EQ(FindPublishedWindow(kName), 0u);  // nobody holds the name

  Receiver stale(kName, {.published = gone});  // holds the name with a dead window's handle
  ASSERT_EQ(stale.window(), gone);
  WindowPublication mine;
  EXPECT_EQ(mine.Publish(kName, 42), 0u);
  EXPECT_EQ(FindPublishedWindow(kName), 42u);
  mine.Withdraw();
  EXPECT_EQ(FindPublishedWindow(kName), 42u);  // the other holder keeps the mapping alive
}

}  // namespace
}  // namespace qorlog::platform
