// A message receiver in a second process, for tests of the sending side (the
// "receiver" role of window_receiver.cc, started through spawn_child.h): it
// makes a window, publishes it under a name, may hold a named event, and
// answers the messages below; a hung one never runs its loop. Every other
// message it handles comes back to the test, in order, through Next().
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/window.h"
#include "tests/support/spawn_child.h"
#include "tests/support/temp_env.h"

namespace qorlog::testing {

// What the receiver answers: add the sum of wParam and lParam; post adds its
// wParam and lParam to a total that count tells; crash ends the process
// without any clean-up (exit code 7); WM_COPYDATA a hash of the identifier
// and the bytes in order. Any other message is recorded and answered 1. The
// receiver registers the numbers itself, so a number that differed between
// processes would leave them unanswered.
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

// A message as the receiver handled it; for WM_COPYDATA the identifier and a
// copy of the bytes (lparam is then 0).
struct ReceivedMessage {
  platform::UINT msg = 0;
  platform::WPARAM wparam = 0;
  platform::LPARAM lparam = 0;
  std::uint64_t id = 0;
  std::string bytes;
};

class Receiver {
 public:
  struct Options {
    bool hung = false;               // never run the loop
    platform::HWND published = 0;    // publish this instead of the window's own handle
    std::u16string event = {};       // hold this named event when not empty
    bool record_copy_data = false;   // record WM_COPYDATA instead of answering its hash
  };
  // Publishes under `name` unless it is empty.
  explicit Receiver(std::u16string_view name, const Options& options);
  explicit Receiver(std::u16string_view name) : Receiver(name, Options{}) {}

  // The published handle; 0 when the receiver could not set up (or publishes
  // nothing).
  platform::HWND window() const { return window_; }
  // The next recorded message, waiting up to `timeout_ms`.
  std::optional<ReceivedMessage> Next(int timeout_ms = 3000);
  // Lets the receiver end and returns its exit code.
  int End() { return child_.Release(); }

 private:
  TempDir log_;
  std::size_t consumed_ = 0;
  ChildProcess child_;
  platform::HWND window_ = 0;
};

}  // namespace qorlog::testing
