// TcpClient over a non-blocking socket; every wait is a poll() with a limit.
#include "platform/tcp_client.h"

#include <cerrno>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <linux/sockios.h>

#include <algorithm>
#include <chrono>

#include "platform/errors.h"
#include "platform/posix/errno_table.h"

namespace qorlog::platform {

namespace {

DWORD NetError(int err) {
  switch (err) {
    case ECONNREFUSED:
      return kWsaConnRefused;
    case ETIMEDOUT:
      return kWsaTimedOut;
    case ECONNRESET:
    case EPIPE:
    case ECONNABORTED:
      return kWsaConnReset;
    case EHOSTUNREACH:
      return kWsaHostUnreachable;
    case ENETUNREACH:
      return kWsaNetUnreachable;
    case ENOTCONN:
      return kWsaNotConnected;
    default:
      return posix::ErrorFromErrno(err);
  }
}

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, 0x7FFFFFFF));
}

// Waits for `events` on `fd` until the deadline; the poll result bits, or 0
// on time-out.
short PollUntil(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    pollfd p = {fd, events, 0};
    const int rc = ::poll(&p, 1, MsLeft(deadline));
    if (rc < 0 && errno == EINTR) continue;
    return rc > 0 ? p.revents : 0;
  }
}

}  // namespace

struct TcpClient::State {
  int fd = -1;
};

TcpClient::TcpClient() : state_(std::make_unique<State>()) {}
TcpClient::~TcpClient() { Close(); }

bool TcpClient::IsConnected() const { return state_->fd >= 0; }

std::intptr_t TcpClient::socket() const { return state_->fd; }

std::string TcpClient::ErrorText(DWORD error) const { return TcpErrorText(error); }

void TcpClient::Close() {
  if (state_->fd >= 0) ::close(state_->fd);
  state_->fd = -1;
}

DWORD TcpClient::Connect(const std::string& host, std::uint16_t port, DWORD timeout_ms) {
  Close();
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  addrinfo hints = {};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || found == nullptr) return kWsaHostNotFound;
  std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(found, &::freeaddrinfo);

  DWORD error = kWsaHostNotFound;
  for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
    const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) {
      error = NetError(errno);
      continue;
    }
    int rc = ::connect(fd, a->ai_addr, a->ai_addrlen);
    if (rc != 0 && errno == EINPROGRESS) {
      const short ready = PollUntil(fd, POLLOUT, deadline);
      int so_error = ETIMEDOUT;
      socklen_t len = sizeof so_error;
      if (ready != 0) ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &so_error, &len);
      rc = so_error == 0 ? 0 : -1;
      errno = so_error;
    }
    if (rc == 0) {
      state_->fd = fd;
      return 0;
    }
    error = NetError(errno);
    ::close(fd);
  }
  return error;
}

DWORD TcpClient::Send(std::string_view bytes, DWORD timeout_ms) {
  if (state_->fd < 0) return kWsaNotConnected;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!bytes.empty()) {
    const ssize_t n = ::send(state_->fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      if (PollUntil(state_->fd, POLLOUT, deadline) != 0) continue;
      Close();
      return kWsaTimedOut;
    }
    const DWORD error = NetError(errno);
    Close();
    return error;
  }
  return 0;
}

DWORD TcpClient::Delivered(DWORD timeout_ms) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  // SIOCOUTQ counts the bytes not yet acknowledged by the peer. The kernel
  // has no notice for "all acknowledged", so look again after short, growing
  // pauses; a reset ends the pause at once.
  int pause_ms = 1;
  for (;;) {
    if (state_->fd < 0) return kWsaNotConnected;
    int unacknowledged = 0;
    if (::ioctl(state_->fd, SIOCOUTQ, &unacknowledged) != 0) {
      const DWORD error = NetError(errno);
      Close();
      return error;
    }
    if (unacknowledged == 0) return 0;
    if (MsLeft(deadline) == 0) {
      Close();
      return kWsaTimedOut;
    }
    pollfd p = {state_->fd, POLLRDHUP, 0};
    if (::poll(&p, 1, std::min(pause_ms, MsLeft(deadline))) > 0 && (p.revents & (POLLERR | POLLHUP)) != 0) {
      int so_error = 0;
      socklen_t len = sizeof so_error;
      ::getsockopt(state_->fd, SOL_SOCKET, SO_ERROR, &so_error, &len);
      Close();
      return NetError(so_error != 0 ? so_error : ECONNRESET);
    }
    pause_ms = std::min(pause_ms * 2, 50);
  }
}

bool TcpClient::PeerClosed() {
  if (state_->fd < 0) return true;
  char byte;
  const ssize_t n = ::recv(state_->fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
  if (n > 0) return false;  // the peer said something; collectors do not, but it is alive
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return false;
  return true;
}

std::string LocalHostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || name[0] == 0) return "localhost";
  return name;
}

}  // namespace qorlog::platform
