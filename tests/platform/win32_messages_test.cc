// The Win32 backend's named mappings and events, windows and messages, and
// the ANSI code page. Windows only; run under Wine.
//
// The program is its own second process: "--receiver NAME" makes a window,
// publishes it under NAME and an event under NAME.event (mappings and events
// share one name space on Windows), and handles the messages below until
// told to quit (see main at the end).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/errors.h"
#include "platform/named_object.h"
#include "platform/process.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/window.h"
#include "platform/window_publication.h"

namespace qorlog::platform {
namespace {

std::string g_self;  // this program's path, from argv[0]

// What the receiver answers: kAdd the sum of wParam and lParam, kCount the
// posts of kPost seen so far, kHang after sleeping lParam ms (holding the
// event "QorLogTest.Hanging" meanwhile); kQuit ends the loop, kCrash the
// process without any clean-up; WM_COPYDATA the identifier plus the sum of
// the bytes.
struct Messages {
  UINT add = RegisterWindowMessageA("QorLogTest.Add");
  UINT count = RegisterWindowMessageA("QorLogTest.Count");
  UINT post = RegisterWindowMessageA("QorLogTest.Post");
  UINT hang = RegisterWindowMessageA("QorLogTest.Hang");
  UINT quit = RegisterWindowMessageA("QorLogTest.Quit");
  UINT crash = RegisterWindowMessageA("QorLogTest.Crash");
};

int RunReceiver(const std::string& name) {
  const Messages m;
  MessageWindow window;
  LRESULT posts = 0;
  const DWORD rc = window.Create([&](UINT msg, WPARAM wparam, LPARAM lparam) -> LRESULT {
    if (msg == m.add) return static_cast<LRESULT>(wparam) + lparam;
    if (msg == m.post) return ++posts;
    if (msg == m.count) return posts;
    if (msg == m.hang) {
      NamedEvent hanging;  // tells the test that the loop is stuck from now on
      hanging.Create(u"QorLogTest.Hanging");
      SleepMilliseconds(static_cast<DWORD>(lparam));
    }
    if (msg == m.quit) window.Stop();
    if (msg == m.crash) std::_Exit(7);
    if (msg == kWmCopyData) {
      const CopyDataStruct* cds = CopyDataOf(lparam);
      LRESULT sum = static_cast<LRESULT>(cds->dwData);
      for (DWORD i = 0; i < cds->cbData; ++i) sum += static_cast<const unsigned char*>(cds->lpData)[i];
      return sum;
    }
    return 1;
  });
  if (rc != 0) return 90;
  const std::u16string wide = Utf8ToUtf16(name);
  WindowPublication publication;
  NamedEvent event;
  if (publication.Publish(wide, window.handle()) != 0 || event.Create(wide + u".event") != 0) return 91;
  return window.Run() == 0 ? 0 : 92;
}

// A receiver in a second process, started on a thread that waits for its end.
class Receiver {
 public:
  explicit Receiver(std::string name) : name_(std::move(name)) {
    waiter_ = std::thread([this] { StartAndWait({g_self, "--receiver", name_}, ShowMode::kHidden, &exit_code_); });
    // Bounded only so that a receiver that never comes fails the test.
    for (int i = 0; i < 2000 && window_ == 0; ++i) {
      window_ = FindPublishedWindow(Utf8ToUtf16(name_));
      if (window_ == 0) SleepMilliseconds(10);
    }
  }
  ~Receiver() {
    if (waiter_.joinable()) {
      SendMessageW(window_, Messages().quit, 0, 0);
      waiter_.join();
    }
  }
  HWND window() const { return window_; }
  // Waits for the receiver's end and returns its exit code.
  DWORD Join() {
    waiter_.join();
    return exit_code_;
  }

 private:
  std::string name_;
  std::thread waiter_;
  HWND window_ = 0;
  DWORD exit_code_ = 99;
};

TEST(Win32WindowTest, RegisteredNumbersAreSharedAndCaseBlind) {
  const UINT n = RegisterWindowMessageA("QorLogTest.Add");
  EXPECT_GE(n, kFirstRegisteredMessage);
  EXPECT_LE(n, kLastRegisteredMessage);
  EXPECT_EQ(RegisterWindowMessageA("QORLOGTEST.ADD"), n);
  EXPECT_NE(RegisterWindowMessageA("QorLogTest.Other"), n);
  EXPECT_EQ(RegisterWindowMessageA(""), 0u);
}

// The receiver's numbers are its own registrations: a different number in
// the other process would leave every message below unanswered.
TEST(Win32WindowTest, SendPostAndCopyDataReachAnotherProcess) {
  const Messages m;
  Receiver receiver("QorLogTest.Send");
  const HWND w = receiver.window();
  ASSERT_NE(w, 0u);
  EXPECT_TRUE(IsWindow(w));
  EXPECT_EQ(SendMessageW(w, m.add, 2, 40), 42);
  LRESULT result = 0;
  EXPECT_NE(SendMessageTimeoutW(w, m.add, 5, 6, kSmtoAbortIfHung, 2000, &result), 0);
  EXPECT_EQ(result, 11);

  const unsigned char bytes[] = {1, 2, 3, 250};
  CopyDataStruct cds{0x10000, sizeof bytes, bytes};
  EXPECT_EQ(SendMessageW(w, kWmCopyData, 0, ToLParam(&cds)), 0x10000 + 256);
  EXPECT_FALSE(PostMessageW(w, kWmCopyData, 0, ToLParam(&cds)));
  EXPECT_EQ(GetLastError(), kErrorMessageSyncOnly);

  for (int i = 0; i < 3; ++i) EXPECT_TRUE(PostMessageW(w, m.post, 0, 0));
  // Sent messages overtake posted ones, so the count is asked until the
  // posts have been handled.
  LRESULT posts = 0;
  for (int i = 0; i < 500 && posts < 3; ++i) {
    posts = SendMessageW(w, m.count, 0, 0);
    if (posts < 3) SleepMilliseconds(10);
  }
  EXPECT_EQ(posts, 3);
}

TEST(Win32WindowTest, TimedSendToAHungReceiverGivesUp) {
  const Messages m;
  Receiver receiver("QorLogTest.Hung");
  ASSERT_NE(receiver.window(), 0u);
  ASSERT_TRUE(PostMessageW(receiver.window(), m.hang, 0, 3000));
  // A sent message would overtake the posted one: wait until it runs.
  NamedEvent hanging;
  for (int i = 0; i < 500 && hanging.Open(u"QorLogTest.Hanging") != 0; ++i) SleepMilliseconds(10);
  ASSERT_TRUE(hanging.is_open());
  LRESULT result = 5;
  SetLastError(0);
  EXPECT_EQ(SendMessageTimeoutW(receiver.window(), m.add, 1, 1, kSmtoAbortIfHung, 200, &result), 0);
  EXPECT_EQ(GetLastError(), kErrorTimeout);
  EXPECT_EQ(result, 5);
}

TEST(Win32WindowTest, CrashedOwnerLeavesNoWindowMappingOrEvent) {
  const Messages m;
  Receiver receiver("QorLogTest.Crash");
  const HWND w = receiver.window();
  ASSERT_NE(w, 0u);
  NamedEvent event;
  EXPECT_EQ(event.Open(u"QorLogTest.Crash.event"), 0u);
  event.Close();
  SendMessageW(w, m.crash, 0, 0);
  EXPECT_EQ(receiver.Join(), 7u);
  EXPECT_FALSE(IsWindow(w));
  EXPECT_EQ(SendMessageW(w, m.add, 1, 1), 0);
  EXPECT_EQ(GetLastError(), kErrorInvalidWindowHandle);
  EXPECT_EQ(FindPublishedWindow(u"QorLogTest.Crash"), 0u);
  EXPECT_EQ(event.Open(u"QorLogTest.Crash.event"), kErrorFileNotFound);
}

TEST(Win32WindowTest, LoopStopsFromAnotherThreadAndSelfSendsCallTheHandler) {
  MessageWindow window;
  const UINT self = RegisterWindowMessageA("QorLogTest.Self");
  const UINT add = RegisterWindowMessageA("QorLogTest.Add");
  ASSERT_EQ(window.Create([&](UINT msg, WPARAM wparam, LPARAM) -> LRESULT {
    if (msg == self) return SendMessageW(window.handle(), add, wparam, 0) + 1;
    return static_cast<LRESULT>(wparam);
  }),
            0u);
  window.Stop();
  EXPECT_EQ(window.Run(), 0u);  // a stop that came first ends the loop at once
  EXPECT_EQ(window.RunFor(0), 0u);
  LRESULT answer = 0;
  std::thread sender([&] {
    answer = SendMessageW(window.handle(), self, 41, 0);
    window.Stop();
  });
  EXPECT_EQ(window.Run(), 0u);
  sender.join();
  EXPECT_EQ(answer, 42);
  const HWND gone = window.handle();
  window.Destroy();
  EXPECT_FALSE(IsWindow(gone));
}

TEST(Win32NamedObjectTest, ObjectsLiveWhileHeld) {
  FileMapping a, b;
  ASSERT_EQ(a.Create(u"QorLogTest.Map", 16), 0u);
  EXPECT_FALSE(a.already_existed());
  std::memcpy(a.data(), "shared", 7);
  ASSERT_EQ(b.OpenForRead(u"QorLogTest.Map", 16), 0u);
  EXPECT_STREQ(static_cast<const char*>(b.data()), "shared");
  FileMapping c;
  ASSERT_EQ(c.Create(u"QorLogTest.Map", 16), 0u);
  EXPECT_TRUE(c.already_existed());
  a.Close();
  b.Close();
  c.Close();
  EXPECT_EQ(b.OpenForRead(u"QorLogTest.Map", 16), kErrorFileNotFound);

  NamedEvent e, f;
  ASSERT_EQ(e.Create(u"Global\\QorLogTest.Event"), 0u);
  EXPECT_FALSE(e.already_existed());
  EXPECT_EQ(f.Open(u"QorLogTest.Event"), kErrorFileNotFound);  // the session's scope is another
  EXPECT_EQ(f.Open(u"Global\\QorLogTest.Event"), 0u);
  EXPECT_TRUE(f.is_open());
  NamedEvent g;
  ASSERT_EQ(g.Create(u"Global\\QorLogTest.Event"), 0u);
  EXPECT_TRUE(g.already_existed());
  g.Close();
  e.Close();
  f.Close();
  EXPECT_EQ(f.Open(u"Global\\QorLogTest.Event"), kErrorFileNotFound);
}

TEST(Win32NamedObjectTest, NamesThatCannotBeObjectsAreRefused) {
  for (std::u16string_view name : {u"", u"Global\\", u"Local\\", u"NoSuchScope\\x"}) {
    FileMapping m;
    NamedEvent e;
    EXPECT_EQ(m.Create(name, 8), kErrorInvalidName) << Utf16ToUtf8(name);
    EXPECT_EQ(e.Create(name), kErrorInvalidName) << Utf16ToUtf8(name);
  }
}

TEST(Win32TextTest, AnsiCodePageRoundTripsItsOwnCharacters) {
  EXPECT_EQ(AnsiToUtf16("plain ASCII"), u"plain ASCII");
  EXPECT_EQ(Utf16ToAnsi(u"plain ASCII"), "plain ASCII");
  EXPECT_EQ(AnsiToUtf16(""), u"");
  // Characters of every Western code page and of UTF-8.
  const std::u16string western = u"Gr\u00fc\u00dfe \u00e9t\u00e9";
  EXPECT_EQ(AnsiToUtf16(Utf16ToAnsi(western)), western);
}

}  // namespace
}  // namespace qorlog::platform

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--receiver") return qorlog::platform::RunReceiver(argv[2]);
  qorlog::platform::g_self = argv[0];
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
