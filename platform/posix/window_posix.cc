// Window messages on POSIX (the promises: platform/window.h).
//
// A window is a Unix-domain socket (SOCK_SEQPACKET, listening) in the
// abstract name space, named after its handle. The handle is a random nonzero
// 63-bit value, so any process that has it can reach the window and a handle
// of a window that is gone names nothing.
//
// How the promises hold:
// - SendMessageW blocks until the receiver's handler has returned and yields
//   its result. Each message travels on its own connection: the sender
//   connects, writes one packet and waits for the one-packet reply. A
//   receiver that dies closes the connection, so the sender learns at once.
// - SendMessageTimeoutW never blocks past its time-out. With abort-if-hung it
//   also gives up at once when the window accepts no connections (its queue of
//   pending connections is full: its loop is not running).
// - PostMessageW writes the packet and returns without waiting for the
//   handler.
// - WM_COPYDATA carries the identifier, the byte count and a copy of the
//   bytes; the handler sees a CopyDataStruct that points into its own copy,
//   valid for the duration of the call.
// - IsWindow is true while a process holds the window's socket; the kernel
//   removes an abstract socket name with its last descriptor, so a crashed
//   owner leaves no window behind.
// - Registered message numbers are a hash of the name (ASCII case folded),
//   so every process computes the same number without a shared table.
//
// The traps:
// - Abstract sockets have no file permissions: anybody on the machine can
//   connect. A window therefore accepts only peers of its own user (and root)
//   unless it is created for every user (the machine-wide tray).
// - A non-blocking connect() on a Unix socket does not return EINPROGRESS: it
//   connects at once, fails with EAGAIN when the listener's queue is full, or
//   with ECONNREFUSED when nobody listens.
// - Writing to a socket whose reader is gone raises SIGPIPE; every write uses
//   MSG_NOSIGNAL.
// - A window that sends to itself from its own loop thread would wait for
//   itself; such a send calls the handler directly, as Windows does.
// - A client that connects and sends nothing must not stall the loop: the
//   loop waits at most kReceiveGraceMs for a connection's packet.
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
#include "platform/posix/sys.h"
#include "platform/window.h"

namespace qorlog::platform {

struct MessageWindow::Impl {
  DWORD Loop(MessageWindow* self, std::int64_t deadline_ns);
  void HandleConnection(int conn);
  void Destroy();

  WindowProc proc;
  HWND handle = 0;
  NativeHandle listener;
  NativeHandle stop_read;
  NativeHandle stop_write;
  bool any_user = false;
};

namespace {

using posix::ErrorFromErrno;
using posix::FdOf;
using posix::RetryOnEintr;

// How long a loop waits for the packet of a connection it accepted.
constexpr int kReceiveGraceMs = 1000;

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
int WaitFd(int fd, short events, std::int64_t deadline_ns) {
  struct pollfd p = {fd, events, 0};
  // Each retry waits only for the time left.
  return RetryOnEintr([&] { return ::poll(&p, 1, RemainingMs(deadline_ns)); });
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

  // 0 connected; otherwise the error: 1400 for no window, 1816 when the
  // window's queue stayed full until the deadline (or at once when
  // `fail_if_full`).
  DWORD Connect(HWND window, std::int64_t deadline_ns, bool fail_if_full) {
    if (window == 0) return kErrorInvalidWindowHandle;
    socket_ = NativeHandle(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!socket_.IsValid()) return ErrorFromErrno(errno);
    sockaddr_un addr;
    const socklen_t len = AddressOf(window, &addr);
    for (;;) {
      if (RetryOnEintr([&] { return ::connect(fd(), reinterpret_cast<sockaddr*>(&addr), len); }) == 0) {
        return kErrorSuccess;
      }
      if (errno != EAGAIN) return kErrorInvalidWindowHandle;
      // The queue is full: the loop is not taking connections.
      if (fail_if_full || RemainingMs(deadline_ns) == 0) return kErrorNotEnoughQuota;
      ::usleep(5000);
    }
  }

  DWORD SendPacket(const std::vector<unsigned char>& packet, std::int64_t deadline_ns) {
    for (;;) {
      const ssize_t n = RetryOnEintr([&] { return ::send(fd(), packet.data(), packet.size(), MSG_NOSIGNAL); });
      if (n == static_cast<ssize_t>(packet.size())) return kErrorSuccess;
      if (n < 0 && errno == EAGAIN) {
        const int rc = WaitFd(fd(), POLLOUT, deadline_ns);
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
      const int rc = WaitFd(fd(), POLLIN, deadline_ns);
      if (rc == 0) return kErrorTimeout;
      if (rc < 0) return ErrorFromErrno(errno);
      std::int64_t value = 0;
      const ssize_t n = RetryOnEintr([&] { return ::recv(fd(), &value, sizeof value, 0); });
      if (n < 0 && errno == EAGAIN) continue;
      if (n != static_cast<ssize_t>(sizeof value)) return kErrorBrokenPipe;
      *result = value;
      return kErrorSuccess;
    }
  }

 private:
  int fd() const { return FdOf(socket_); }

  NativeHandle socket_;
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

MessageWindow::MessageWindow() : impl_(std::make_unique<Impl>()) {}

MessageWindow::~MessageWindow() { Destroy(); }

HWND MessageWindow::handle() const { return impl_->handle; }

// There are no top-level windows here: every kind is reached by its handle
// alone.
DWORD MessageWindow::Create(WindowProc proc, bool any_user, Kind /*kind*/) {
  Destroy();
  Impl& w = *impl_;
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC | O_NONBLOCK) != 0) return ErrorFromErrno(errno);
  w.stop_read = NativeHandle(pipe_fds[0]);
  w.stop_write = NativeHandle(pipe_fds[1]);
  w.listener = NativeHandle(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!w.listener.IsValid()) {
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
    if (::bind(FdOf(w.listener), reinterpret_cast<sockaddr*>(&addr), len) == 0) {
      w.handle = candidate;
      break;
    }
    if (errno != EADDRINUSE) break;
  }
  if (w.handle == 0 || ::listen(FdOf(w.listener), kListenBacklog) != 0) {
    const DWORD rc = ErrorFromErrno(errno);
    Destroy();
    return rc == 0 ? kErrorGenFailure : rc;
  }
  w.proc = std::move(proc);
  w.any_user = any_user;
  return kErrorSuccess;
}

void MessageWindow::Destroy() { impl_->Destroy(); }

void MessageWindow::Impl::Destroy() {
  listener.Close();
  stop_read.Close();
  stop_write.Close();
  handle = 0;
  proc = nullptr;
}

void MessageWindow::Stop() {
  // write() on a non-blocking pipe is async-signal-safe; a full pipe already
  // holds a stop request, and errno must survive for the interrupted code.
  const int saved = errno;
  if (impl_->stop_write.IsValid()) {
    const char c = 1;
    (void)!::write(FdOf(impl_->stop_write), &c, 1);
  }
  errno = saved;
}

DWORD MessageWindow::Run() { return impl_->Loop(this, kNoDeadline); }

DWORD MessageWindow::RunFor(int timeout_ms) {
  return impl_->Loop(this, NowNs() + static_cast<std::int64_t>(timeout_ms) * 1000000);
}

DWORD MessageWindow::Impl::Loop(MessageWindow* self, std::int64_t deadline_ns) {
  if (!listener.IsValid()) return kErrorInvalidWindowHandle;
  MessageWindow* outer_window = t_running_window;
  WindowProc* outer_proc = t_running_proc;
  t_running_window = self;
  t_running_proc = &proc;
  DWORD result = kErrorSuccess;
  for (;;) {
    struct pollfd fds[2] = {{FdOf(listener), POLLIN, 0}, {FdOf(stop_read), POLLIN, 0}};
    // After a signal the poll runs again: its handler may have called Stop().
    const int rc = RetryOnEintr([&] { return ::poll(fds, 2, RemainingMs(deadline_ns)); });
    if (rc < 0) {
      result = ErrorFromErrno(errno);
      break;
    }
    if (fds[1].revents != 0) {
      char buf[16];
      while (::read(FdOf(stop_read), buf, sizeof buf) > 0) {
      }
      break;
    }
    if (rc == 0) break;  // RunFor's time is up
    NativeHandle conn(::accept4(FdOf(listener), nullptr, nullptr, SOCK_CLOEXEC));
    if (!conn.IsValid()) continue;  // EAGAIN after a peer gave up, EINTR, ECONNABORTED
    HandleConnection(FdOf(conn));
  }
  t_running_window = outer_window;
  t_running_proc = outer_proc;
  return result;
}

void MessageWindow::Impl::HandleConnection(int conn) {
  if (!any_user) {
    struct ucred cred = {};
    socklen_t len = sizeof cred;
    if (::getsockopt(conn, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) return;
    if (cred.uid != ::geteuid() && cred.uid != 0) return;
  }
  // IsWindow probes connect and close without a packet; they end here.
  if (WaitFd(conn, POLLIN, NowNs() + static_cast<std::int64_t>(kReceiveGraceMs) * 1000000) <= 0) return;
  std::vector<unsigned char> packet(sizeof(WireHeader) + kMaxCopyDataBytes);
  const ssize_t n = RetryOnEintr([&] { return ::recv(conn, packet.data(), packet.size(), MSG_TRUNC); });
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
  const LRESULT result = proc ? proc(h.msg, h.wparam, lparam) : 0;
  if ((h.flags & kWantsReply) != 0) {
    // The sender may have given up (time-out); its absence is no error here.
    (void)::send(conn, &result, sizeof result, MSG_NOSIGNAL | MSG_DONTWAIT);
  }
}

}  // namespace qorlog::platform
