#include <fcntl.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/errors.h"
#include "platform/window.h"

namespace qorlog::platform {

namespace {

// One message on the wire: this header, then for WM_COPYDATA the bytes.
constexpr std::uint32_t kWireMagic = 0x514C4D31;  // "QLM1"
constexpr std::uint32_t kWantsReply = 1;
constexpr std::uint32_t kHasCopyData = 2;

struct WireHeader {
  std::uint32_t magic;
  std::uint32_t flags;
  std::uint32_t msg;
  std::uint32_t copy_size;
  std::uint64_t wparam;
  std::int64_t lparam;
  std::uint64_t copy_id;
};
static_assert(sizeof(WireHeader) == 40);

constexpr std::int64_t kNoDeadline = -1;
constexpr int kListenBacklog = 64;

// The window this thread's loop is running, for sends to itself.
thread_local MessageWindow* t_running_window = nullptr;
thread_local WindowProc* t_running_proc = nullptr;

std::int64_t NowNs() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Milliseconds left until `deadline_ns` for poll(): -1 without a deadline.
int RemainingMs(std::int64_t deadline_ns) {
  if (deadline_ns == kNoDeadline) return -1;
  const std::int64_t left = deadline_ns - NowNs();
  if (left <= 0) return 0;
  return static_cast<int>((left + 999999) / 1000000);
}

// Waits for `events` on `fd`. 1 ready, 0 timed out, -1 error; EINTR restarts.
int WaitFd(int fd, short events, std::int64_t deadline_ns, short* revents = nullptr) {
  for (;;) {
    struct pollfd p = {fd, events, 0};
    const int rc = ::poll(&p, 1, RemainingMs(deadline_ns));
    if (rc < 0 && errno == EINTR) continue;
    if (rc > 0 && revents != nullptr) *revents = p.revents;
    return rc < 0 ? -1 : rc;
  }
}

socklen_t AddressOf(HWND window, sockaddr_un* addr) {
  std::memset(addr, 0, sizeof *addr);
  addr->sun_family = AF_UNIX;
  // Abstract name: a leading NUL, then text; the length delimits it.
  const int n = std::snprintf(addr->sun_path + 1, sizeof addr->sun_path - 1, "qorlog-window-%016llx",
                              static_cast<unsigned long long>(window));
  return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n);
}

// A connected socket that closes itself.
class Connection {
 public:
  Connection() = default;
  ~Connection() {
    if (fd_ >= 0) ::close(fd_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // 0 connected; otherwise the error: 1400 for no window, 1816 when the
  // window's queue stayed full until the deadline (or at once when
  // `fail_if_full`).
  DWORD Connect(HWND window, std::int64_t deadline_ns, bool fail_if_full) {
    if (window == 0) return kErrorInvalidWindowHandle;
    fd_ = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd_ < 0) return ErrorFromErrno(errno);
    sockaddr_un addr;
    const socklen_t len = AddressOf(window, &addr);
    for (;;) {
      if (::connect(fd_, reinterpret_cast<sockaddr*>(&addr), len) == 0) return kErrorSuccess;
      if (errno == EINTR) continue;
      if (errno != EAGAIN) return kErrorInvalidWindowHandle;
      // The queue is full: the loop is not taking connections.
      if (fail_if_full || RemainingMs(deadline_ns) == 0) return kErrorNotEnoughQuota;
      ::usleep(5000);
    }
  }

  DWORD SendPacket(const std::vector<unsigned char>& packet, std::int64_t deadline_ns) {
    for (;;) {
      const ssize_t n = ::send(fd_, packet.data(), packet.size(), MSG_NOSIGNAL);
      if (n == static_cast<ssize_t>(packet.size())) return kErrorSuccess;
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == EAGAIN) {
        const int rc = WaitFd(fd_, POLLOUT, deadline_ns);
        if (rc == 0) return kErrorTimeout;
        if (rc > 0) continue;
      }
      return n < 0 && errno == EMSGSIZE ? kErrorInvalidParameter : kErrorBrokenPipe;
    }
  }

  // Waits for the handler's result. 1460 on time-out, 109 when the window
  // went away without answering.
  DWORD ReceiveResult(std::int64_t deadline_ns, LRESULT* result) {
    for (;;) {
      const int rc = WaitFd(fd_, POLLIN, deadline_ns);
      if (rc == 0) return kErrorTimeout;
      if (rc < 0) return ErrorFromErrno(errno);
      std::int64_t value = 0;
      const ssize_t n = ::recv(fd_, &value, sizeof value, 0);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n != static_cast<ssize_t>(sizeof value)) return kErrorBrokenPipe;
      *result = value;
      return kErrorSuccess;
    }
  }

 private:
  int fd_ = -1;
};

// Builds the packet; for WM_COPYDATA it copies the caller's bytes. 0 or 87.
DWORD BuildPacket(UINT msg, WPARAM wparam, LPARAM lparam, bool wants_reply, std::vector<unsigned char>* packet) {
  WireHeader h = {};
  h.magic = kWireMagic;
  h.flags = wants_reply ? kWantsReply : 0;
  h.msg = msg;
  h.wparam = wparam;
  h.lparam = lparam;
  const CopyDataStruct* cds = nullptr;
  if (msg == kWmCopyData) {
    cds = CopyDataOf(lparam);
    if (cds == nullptr || cds->cbData > kMaxCopyDataBytes || (cds->cbData > 0 && cds->lpData == nullptr)) {
      return kErrorInvalidParameter;
    }
    h.flags |= kHasCopyData;
    h.lparam = 0;  // a pointer means nothing in another process
    h.copy_id = cds->dwData;
    h.copy_size = cds->cbData;
  }
  packet->resize(sizeof h + (cds != nullptr ? cds->cbData : 0));
  std::memcpy(packet->data(), &h, sizeof h);
  if (cds != nullptr && cds->cbData > 0) std::memcpy(packet->data() + sizeof h, cds->lpData, cds->cbData);
  return kErrorSuccess;
}

// The shared body of the three sending calls.
DWORD Deliver(HWND window, UINT msg, WPARAM wparam, LPARAM lparam, bool wants_reply, std::int64_t deadline_ns,
              bool fail_if_full, LRESULT* result) {
  if (t_running_window != nullptr && wants_reply && t_running_window->handle() == window) {
    *result = (*t_running_proc)(msg, wparam, lparam);
    return kErrorSuccess;
  }
  std::vector<unsigned char> packet;
  if (DWORD rc = BuildPacket(msg, wparam, lparam, wants_reply, &packet); rc != 0) return rc;
  Connection conn;
  if (DWORD rc = conn.Connect(window, deadline_ns, fail_if_full); rc != 0) return rc;
  if (DWORD rc = conn.SendPacket(packet, deadline_ns); rc != 0) return rc;
  if (!wants_reply) return kErrorSuccess;
  return conn.ReceiveResult(deadline_ns, result);
}

}  // namespace

UINT RegisterWindowMessageA(std::string_view name) {
  if (name.empty()) return 0;
  // FNV-1a over the case-folded name, folded into the registered range.
  std::uint32_t hash = 2166136261u;
  for (char c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    hash ^= static_cast<unsigned char>(c);
    hash *= 16777619u;
  }
  return kFirstRegisteredMessage + (hash ^ (hash >> 16)) % (kLastRegisteredMessage - kFirstRegisteredMessage + 1);
}

bool IsWindow(HWND window) {
  if (window == 0) return false;
  Connection conn;
  // A full queue still proves a listener; only "nobody there" is false.
  const DWORD rc = conn.Connect(window, NowNs(), true);
  return rc == kErrorSuccess || rc == kErrorNotEnoughQuota;
}

LRESULT SendMessageW(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  LRESULT result = 0;
  const DWORD rc = Deliver(window, msg, wparam, lparam, true, kNoDeadline, false, &result);
  SetLastError(rc);
  return rc == 0 ? result : 0;
}

LRESULT SendMessageTimeoutW(HWND window, UINT msg, WPARAM wparam, LPARAM lparam, UINT flags, UINT timeout_ms,
                            LRESULT* result) {
  const std::int64_t deadline = NowNs() + static_cast<std::int64_t>(timeout_ms) * 1000000;
  const bool abort_if_hung = (flags & kSmtoAbortIfHung) != 0;
  LRESULT value = 0;
  DWORD rc = Deliver(window, msg, wparam, lparam, true, deadline, abort_if_hung, &value);
  if (rc == kErrorNotEnoughQuota) rc = kErrorTimeout;  // not accepting: hung
  SetLastError(rc);
  if (rc != 0) return 0;
  if (result != nullptr) *result = value;
  return 1;
}

bool PostMessageW(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == kWmCopyData) {
    SetLastError(kErrorMessageSyncOnly);
    return false;
  }
  LRESULT unused = 0;
  const DWORD rc = Deliver(window, msg, wparam, lparam, false, NowNs(), true, &unused);
  SetLastError(rc);
  return rc == 0;
}

DWORD MessageWindow::Create(WindowProc proc, bool any_user) {
  Destroy();
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC | O_NONBLOCK) != 0) return ErrorFromErrno(errno);
  stop_read_ = pipe_fds[0];
  stop_write_ = pipe_fds[1];
  listen_fd_ = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (listen_fd_ < 0) {
    const DWORD rc = ErrorFromErrno(errno);
    Destroy();
    return rc;
  }
  for (int attempt = 0; attempt < 8; ++attempt) {
    HWND candidate = 0;
    if (::getrandom(&candidate, sizeof candidate, 0) != sizeof candidate) continue;
    candidate &= 0x7FFFFFFFFFFFFFFFull;
    if (candidate == 0) continue;
    sockaddr_un addr;
    const socklen_t len = AddressOf(candidate, &addr);
    if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), len) == 0) {
      handle_ = candidate;
      break;
    }
    if (errno != EADDRINUSE) break;
  }
  if (handle_ == 0 || ::listen(listen_fd_, kListenBacklog) != 0) {
    const DWORD rc = ErrorFromErrno(errno);
    Destroy();
    return rc == 0 ? kErrorGenFailure : rc;
  }
  proc_ = std::move(proc);
  any_user_ = any_user;
  return kErrorSuccess;
}

void MessageWindow::Destroy() {
  for (int* fd : {&listen_fd_, &stop_read_, &stop_write_}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
  handle_ = 0;
  proc_ = nullptr;
}

void MessageWindow::Stop() {
  // write() on a non-blocking pipe is async-signal-safe; a full pipe already
  // holds a stop request, and errno must survive for the interrupted code.
  const int saved = errno;
  if (stop_write_ >= 0) {
    const char c = 1;
    (void)!::write(stop_write_, &c, 1);
  }
  errno = saved;
}

DWORD MessageWindow::Run() { return Loop(kNoDeadline); }

DWORD MessageWindow::RunFor(int timeout_ms) { return Loop(NowNs() + static_cast<std::int64_t>(timeout_ms) * 1000000); }

DWORD MessageWindow::Loop(std::int64_t deadline_ns) {
  if (listen_fd_ < 0) return kErrorInvalidWindowHandle;
  MessageWindow* outer_window = t_running_window;
  WindowProc* outer_proc = t_running_proc;
  t_running_window = this;
  t_running_proc = &proc_;
  DWORD result = kErrorSuccess;
  for (;;) {
    struct pollfd fds[2] = {{listen_fd_, POLLIN, 0}, {stop_read_, POLLIN, 0}};
    const int rc = ::poll(fds, 2, RemainingMs(deadline_ns));
    if (rc < 0 && errno == EINTR) continue;  // a signal handler may have called Stop()
    if (rc < 0) {
      result = ErrorFromErrno(errno);
      break;
    }
    if (fds[1].revents != 0) {
      char buf[16];
      while (::read(stop_read_, buf, sizeof buf) > 0) {
      }
      break;
    }
    if (rc == 0) break;  // RunFor's time is up
    const int conn = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (conn < 0) continue;  // EAGAIN after a peer gave up, EINTR, ECONNABORTED
    HandleConnection(conn);
    ::close(conn);
  }
  t_running_window = outer_window;
  t_running_proc = outer_proc;
  return result;
}

void MessageWindow::HandleConnection(int conn) {
  if (!any_user_) {
    struct ucred cred = {};
    socklen_t len = sizeof cred;
    if (::getsockopt(conn, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) return;
    if (cred.uid != ::geteuid() && cred.uid != 0) return;
  }
  // IsWindow probes connect and close without a packet; they end here.
  if (WaitFd(conn, POLLIN, NowNs() + static_cast<std::int64_t>(kReceiveGraceMs) * 1000000) <= 0) return;
  std::vector<unsigned char> packet(sizeof(WireHeader) + kMaxCopyDataBytes);
  ssize_t n;
  do {
    n = ::recv(conn, packet.data(), packet.size(), MSG_TRUNC);
  } while (n < 0 && errno == EINTR);
  if (n < static_cast<ssize_t>(sizeof(WireHeader)) || n > static_cast<ssize_t>(packet.size())) return;
  WireHeader h;
  std::memcpy(&h, packet.data(), sizeof h);
  if (h.magic != kWireMagic) return;
  LPARAM lparam = h.lparam;
  CopyDataStruct cds;
  if ((h.flags & kHasCopyData) != 0) {
    if (h.msg != kWmCopyData || h.copy_size != static_cast<std::size_t>(n) - sizeof h) return;
    cds.dwData = h.copy_id;
    cds.cbData = h.copy_size;
    cds.lpData = h.copy_size > 0 ? packet.data() + sizeof h : nullptr;
    lparam = ToLParam(&cds);
  } else if (h.msg == kWmCopyData) {
    return;
  }
  const LRESULT result = proc_ ? proc_(h.msg, h.wparam, lparam) : 0;
  if ((h.flags & kWantsReply) != 0) {
    // The sender may have given up (time-out); its absence is no error here.
    (void)::send(conn, &result, sizeof result, MSG_NOSIGNAL | MSG_DONTWAIT);
  }
}

}  // namespace qorlog::platform
