// A message receiver in a second process, for tests of the sending side: the
// "receiver" role (window_test.cc) makes a window, publishes it under a name
// and answers the messages below; a hung one never runs its loop.
#pragma once

#include <cstdint>
#include <string>

#include "platform/text.h"
#include "platform/window.h"
#include "platform/window_publication.h"
#include "tests/support/spawn_child.h"

namespace qorlog::testing {

// What the receiver answers: add the sum of wParam and lParam; post adds its
// wParam and lParam to a total that count tells; crash ends the process
// without any clean-up (exit code 7); WM_COPYDATA a hash of the identifier
// and the bytes in order. The receiver registers the numbers itself, so a
// number that differed between processes would leave them unanswered.
struct TestMessages {
  platform::UINT add = platform::RegisterWindowMessageA("QorLogTest.Add");
  platform::UINT post = platform::RegisterWindowMessageA("QorLogTest.Post");
  platform::UINT count = platform::RegisterWindowMessageA("QorLogTest.Count");
  platform::UINT crash = platform::RegisterWindowMessageA("QorLogTest.Crash");
};

inline platform::LRESULT CopyDataHash(std::uint64_t id, const void* data, std::size_t size) {
  std::uint64_t h = 1469598103934665603u ^ id;
  for (std::size_t i = 0; i < size; ++i) h = (h ^ static_cast<const unsigned char*>(data)[i]) * 1099511628211u;
  return static_cast<platform::LRESULT>(h >> 2) | 1;  // positive and never 0
}

class Receiver {
 public:
  // `mode` is "run" or "hung"; a nonzero `published` is published instead of
  // the window's own handle.
  explicit Receiver(const std::string& name, const std::string& mode = "run", platform::HWND published = 0)
      : child_("receiver", {name, mode, std::to_string(published)}) {
    if (child_.WaitReady() == 0) window_ = platform::FindPublishedWindow(platform::Utf8ToUtf16(name));
  }

  // The published handle; 0 when the receiver could not set up.
  platform::HWND window() const { return window_; }
  // Lets the receiver end and returns its exit code.
  int End() { return child_.Release(); }

 private:
  ChildProcess child_;
  platform::HWND window_ = 0;
};

}  // namespace qorlog::testing
