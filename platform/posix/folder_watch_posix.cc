// FolderWatch over inotify, and the stop request over a self-pipe.
//
// The trap: a stop flag alone races with the wait (a signal that lands
// between testing the flag and entering poll() would be slept through), so
// the signal handler also writes a byte into a pipe that every wait polls.
// The byte is never read: once stopped, every later wait returns at once.
#include "platform/folder_watch.h"

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>

#include "platform/errors.h"
#include "platform/posix/errno_table.h"
#include "platform/process.h"
#include "platform/text.h"

namespace qorlog::platform {

namespace {

std::atomic<bool> g_stop{false};
std::atomic<int> g_stop_write_fd{-1};

// The read end of the stop pipe, made on first use.
int StopReadFd() {
  static const int read_fd = [] {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return -1;
    g_stop_write_fd.store(fds[1]);
    return fds[0];
  }();
  return read_fd;
}

void OnTerminationSignal(int) { RequestStop(); }

// What a change to a log folder looks like: a file made, finished (every
// append closes its file), renamed or removed, or the folder itself going.
constexpr std::uint32_t kWatchMask = IN_CREATE | IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE |
                                     IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

}  // namespace

void RequestStop() {
  g_stop.store(true);
  const int fd = g_stop_write_fd.load();
  if (fd >= 0) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);  // a full pipe is already readable
  }
}

bool StopRequested() { return g_stop.load(); }

void StopOnTerminationSignals() {
  StopReadFd();
  struct sigaction sa = {};
  sa.sa_handler = &OnTerminationSignal;
  sigemptyset(&sa.sa_mask);
  ::sigaction(SIGINT, &sa, nullptr);
  ::sigaction(SIGTERM, &sa, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
}

struct FolderWatch::State {
  int fd = -1;
  ~State() {
    if (fd >= 0) ::close(fd);
  }
};

FolderWatch::FolderWatch() : state_(std::make_unique<State>()) {
  StopReadFd();
  state_->fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
}

FolderWatch::~FolderWatch() = default;

DWORD FolderWatch::Watch(std::u16string_view folder) {
  if (state_->fd < 0) return kErrorTooManyOpenFiles;
  const std::string native = Utf16ToUtf8(folder);
  if (::inotify_add_watch(state_->fd, native.c_str(), kWatchMask) >= 0) return 0;
  if (errno == ENOSPC) return kErrorTooManyOpenFiles;  // the user's watch limit
  return posix::ErrorFromErrno(errno, native);
}

FolderWatch::Wake FolderWatch::Wait(DWORD timeout_ms) {
  pollfd fds[2] = {{StopReadFd(), POLLIN, 0}, {state_->fd, POLLIN, 0}};
  const int timeout = timeout_ms == kInfinite ? -1 : static_cast<int>(std::min<DWORD>(timeout_ms, 0x7FFFFFFF));
  for (;;) {
    if (StopRequested()) return Wake::kStopped;
    const int rc = ::poll(fds, state_->fd >= 0 ? 2 : 1, timeout);
    if (rc < 0 && errno == EINTR) continue;  // the flag tells whether it was a stop
    if (rc <= 0) return StopRequested() ? Wake::kStopped : Wake::kTimedOut;
    if (StopRequested() || (fds[0].revents & POLLIN) != 0) return Wake::kStopped;
    // Drain every queued event: one wake stands for all of them.
    alignas(inotify_event) char buffer[4096];
    while (::read(state_->fd, buffer, sizeof buffer) > 0) {
    }
    return Wake::kChanged;
  }
}

}  // namespace qorlog::platform
