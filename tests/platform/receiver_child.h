// A message receiver in a forked child, for tests of the sending side: the
// child makes a window, optionally publishes its handle in a named mapping
// and holds a named event, then runs its loop (or, as a hung receiver, never
// does). Every message it handles comes back to the test through a pipe.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/named_object.h"
#include "platform/window.h"
#include "platform/window_publication.h"

namespace qorlog::testing {

struct ReceivedMessage {
  platform::UINT msg = 0;
  platform::WPARAM wparam = 0;
  platform::LPARAM lparam = 0;
  bool copy_data = false;
  std::uint64_t id = 0;
  std::string bytes;  // a copy of the WM_COPYDATA bytes
};

class ReceiverChild {
 public:
  struct Options {
    std::u16string mapping;           // publish the window here when not empty
    std::u16string event;             // hold this named event when not empty
    bool hung = false;                // never run the loop
    platform::LRESULT reply = 1;      // the handler's result
    platform::HWND published = 0;     // publish this handle instead of the window's
  };

  explicit ReceiverChild(Options options) {
    int ready[2], results[2];
    if (pipe(ready) != 0 || pipe(results) != 0) _exit(99);
    pid_ = fork();
    if (pid_ == 0) {
      close(ready[0]);
      close(results[0]);
      _exit(RunChild(options, ready[1], results[1]));
    }
    close(ready[1]);
    close(results[1]);
    results_ = results[0];
    if (read(ready[0], &window_, sizeof window_) != sizeof window_) window_ = 0;
    close(ready[0]);
  }
  ~ReceiverChild() {
    Kill(SIGTERM);
    close(results_);
  }
  ReceiverChild(const ReceiverChild&) = delete;
  ReceiverChild& operator=(const ReceiverChild&) = delete;

  // The child's window; 0 when the child could not set up.
  platform::HWND window() const { return window_; }
  pid_t pid() const { return pid_; }

  // The next message the child handled, waiting up to `timeout_ms`.
  std::optional<ReceivedMessage> Next(int timeout_ms = 3000) {
    struct pollfd p = {results_, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0) return std::nullopt;
    Wire w;
    if (!ReadAll(&w, sizeof w)) return std::nullopt;
    ReceivedMessage m{w.msg, w.wparam, w.lparam, w.copy_data != 0, w.id, std::string(w.size, '\0')};
    if (w.size > 0 && !ReadAll(m.bytes.data(), w.size)) return std::nullopt;
    return m;
  }

  // Ends the child with `sig` and reaps it.
  void Kill(int sig = SIGKILL) {
    if (pid_ <= 0) return;
    kill(pid_, sig);
    int status;
    waitpid(pid_, &status, 0);
    pid_ = -1;
  }

 private:
  struct Wire {
    platform::UINT msg;
    std::uint32_t copy_data;
    platform::WPARAM wparam;
    platform::LPARAM lparam;
    std::uint64_t id;
    std::uint64_t size;
  };

  static platform::MessageWindow*& ChildWindow() {
    static platform::MessageWindow* window = nullptr;
    return window;
  }

  static int RunChild(const Options& options, int ready, int results) {
    platform::MessageWindow window;
    const platform::LRESULT reply = options.reply;
    window.Create([results, reply](platform::UINT msg, platform::WPARAM wp, platform::LPARAM lp) {
      Wire w{msg, 0, wp, lp, 0, 0};
      std::string bytes;
      if (msg == platform::kWmCopyData) {
        const auto* cds = platform::CopyDataOf(lp);
        w.copy_data = 1;
        w.lparam = 0;
        w.id = cds->dwData;
        w.size = cds->cbData;
        bytes.assign(static_cast<const char*>(cds->lpData), cds->cbData);
      }
      (void)!write(results, &w, sizeof w);
      (void)!write(results, bytes.data(), bytes.size());
      return reply;
    });
    platform::WindowPublication publication;
    if (!options.mapping.empty()) {
      const platform::HWND h = options.published != 0 ? options.published : window.handle();
      if (publication.Publish(options.mapping, h) != 0) return 2;
    }
    platform::NamedEvent event;
    if (!options.event.empty() && event.Create(options.event) != 0) return 3;
    const platform::HWND h = window.handle();
    if (options.hung) {  // SIGTERM keeps its default: it ends the child
      (void)!write(ready, &h, sizeof h);
      close(ready);
      for (;;) pause();
    }
    ChildWindow() = &window;
    signal(SIGTERM, [](int) { ChildWindow()->Stop(); });
    (void)!write(ready, &h, sizeof h);
    close(ready);
    window.Run();
    return 0;
  }

  bool ReadAll(void* data, std::size_t size) {
    auto* p = static_cast<char*>(data);
    while (size > 0) {
      const ssize_t n = read(results_, p, size);
      if (n <= 0) return false;
      p += n;
      size -= static_cast<std::size_t>(n);
    }
    return true;
  }

  pid_t pid_ = -1;
  int results_ = -1;
  platform::HWND window_ = 0;
};

// The number of open descriptors of this process.
inline int OpenDescriptorCount() {
  int n = 0;
  for (int fd = 0; fd < 4096; ++fd) {
    if (fcntl(fd, F_GETFD) != -1) ++n;
  }
  return n;
}

// True when this process has no child at all, running or unreaped.
inline bool HasNoChildren() {
  int status;
  return waitpid(-1, &status, WNOHANG) == -1 && errno == ECHILD;
}

}  // namespace qorlog::testing
