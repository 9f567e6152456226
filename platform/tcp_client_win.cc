// TcpClient over a non-blocking Winsock 2 socket; every wait is a select()
// with a limit. (WSAPoll is not used: before Windows 10 2004 it does not
// report a refused connect.) Winsock's errors are the codes tcp_client.h
// speaks, so they pass through as WSAGetLastError() gives them.
//
// What Delivered() can promise on Windows: where the system answers
// SIO_TCP_INFO (Windows 10 1703 and later) it waits, as on Linux, until
// nothing sent is unacknowledged: no byte in flight, and the count of bytes
// that left the machine, less the retransmitted ones, reaches what Send()
// handed over. (Should the system count retransmissions apart from BytesOut,
// the wait ends in a time-out and the sender sends the batch again: a
// duplicate, never a loss.) Where it does not (older systems, Wine), the
// system gives no count of acknowledged bytes at all; Delivered() then only
// confirms that the connection has not been closed or reset, so a
// connection that breaks with data in flight can lose that data.
#define NTDDI_VERSION 0x0A000003  // NTDDI_WIN10_RS2, for TCP_INFO_v0; asked at run time
#include <winsock2.h>
#include <ws2tcpip.h>
#include <mstcpip.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "platform/tcp_client.h"

namespace qorlog::platform {

namespace {

using Clock = std::chrono::steady_clock;

// Winsock is started once for the process and never stopped: sockets may be
// in use until the process ends.
bool StartWinsock() {
  static const bool started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

DWORD MsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<DWORD>(std::clamp<long long>(left, 0, 0x7FFFFFFF));
}

enum class Ready { kYes, kTimedOut, kFailed };

// Waits until `s` can be written to (or, connecting, has failed) before the
// deadline.
Ready WaitWritable(SOCKET s, Clock::time_point deadline) {
  fd_set writable;
  fd_set failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(s, &writable);
  FD_SET(s, &failed);
  const DWORD ms = MsLeft(deadline);
  timeval limit = {static_cast<long>(ms / 1000), static_cast<long>(ms % 1000 * 1000)};
  const int rc = ::select(0, nullptr, &writable, &failed, &limit);
  if (rc == 0) return Ready::kTimedOut;
  if (rc < 0 || FD_ISSET(s, &failed)) return Ready::kFailed;
  return Ready::kYes;
}

// The error pending on a socket, or `fallback` when it has none.
DWORD SocketError(SOCKET s, DWORD fallback) {
  int error = 0;
  int length = sizeof error;
  if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0 || error == 0) {
    return fallback;
  }
  return static_cast<DWORD>(error);
}

}  // namespace

struct TcpClient::State {
  SOCKET socket = INVALID_SOCKET;
  std::uint64_t sent = 0;  // bytes handed to the system on this connection
};

TcpClient::TcpClient() : state_(std::make_unique<State>()) {}
TcpClient::~TcpClient() { Close(); }

bool TcpClient::IsConnected() const { return state_->socket != INVALID_SOCKET; }

std::intptr_t TcpClient::socket() const {
  return state_->socket == INVALID_SOCKET ? -1 : static_cast<std::intptr_t>(state_->socket);
}

std::string TcpClient::ErrorText(DWORD error) const { return TcpErrorText(error); }

void TcpClient::Close() {
  if (state_->socket != INVALID_SOCKET) ::closesocket(state_->socket);
  state_->socket = INVALID_SOCKET;
  state_->sent = 0;
}

DWORD TcpClient::Connect(const std::string& host, std::uint16_t port, DWORD timeout_ms) {
  Close();
  if (!StartWinsock()) return static_cast<DWORD>(::WSAGetLastError());
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  addrinfo hints = {};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || found == nullptr) return kWsaHostNotFound;
  std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(found, &::freeaddrinfo);

  DWORD error = kWsaHostNotFound;
  for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
    const SOCKET s = ::WSASocketW(a->ai_family, a->ai_socktype, a->ai_protocol, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) {
      error = static_cast<DWORD>(::WSAGetLastError());
      continue;
    }
    u_long non_blocking = 1;
    int rc = ::ioctlsocket(s, FIONBIO, &non_blocking);
    if (rc == 0) rc = ::connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen));
    if (rc != 0 && ::WSAGetLastError() == WSAEWOULDBLOCK) {
      switch (WaitWritable(s, deadline)) {
        case Ready::kYes:
          rc = 0;
          break;
        case Ready::kTimedOut:
          ::WSASetLastError(WSAETIMEDOUT);
          break;
        case Ready::kFailed:
          ::WSASetLastError(static_cast<int>(SocketError(s, kWsaConnRefused)));
          break;
      }
    }
    if (rc == 0) {
      state_->socket = s;
      return 0;
    }
    error = static_cast<DWORD>(::WSAGetLastError());
    ::closesocket(s);
  }
  return error;
}

DWORD TcpClient::Send(std::string_view bytes, DWORD timeout_ms) {
  if (state_->socket == INVALID_SOCKET) return kWsaNotConnected;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!bytes.empty()) {
    const int chunk = static_cast<int>(std::min<std::size_t>(bytes.size(), 1u << 30));
    const int n = ::send(state_->socket, bytes.data(), chunk, 0);
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
      state_->sent += static_cast<std::uint64_t>(n);
      continue;
    }
    DWORD error = static_cast<DWORD>(::WSAGetLastError());
    if (n < 0 && error == WSAEWOULDBLOCK) {
      const Ready ready = WaitWritable(state_->socket, deadline);
      if (ready == Ready::kYes) continue;
      error = ready == Ready::kTimedOut ? kWsaTimedOut : SocketError(state_->socket, kWsaConnReset);
    }
    Close();
    return error;
  }
  return 0;
}

DWORD TcpClient::Delivered(DWORD timeout_ms) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  // The system gives no notice of "all acknowledged": look again after
  // short, growing pauses, as the Linux backend does.
  DWORD pause_ms = 1;
  for (;;) {
    if (state_->socket == INVALID_SOCKET) return kWsaNotConnected;
    if (PeerClosed()) {
      const DWORD error = SocketError(state_->socket, kWsaConnReset);
      Close();
      return error;
    }
    DWORD version = 0;
    TCP_INFO_v0 info = {};
    DWORD bytes = 0;
    if (::WSAIoctl(state_->socket, SIO_TCP_INFO, &version, sizeof version, &info, sizeof info, &bytes, nullptr,
                   nullptr) != 0) {
      return 0;  // no count of acknowledged bytes here: the open connection is all there is to know
    }
    if (info.BytesInFlight == 0 && info.BytesOut - info.BytesRetrans >= state_->sent) return 0;
    if (MsLeft(deadline) == 0) {
      Close();
      return kWsaTimedOut;
    }
    ::Sleep(std::min(pause_ms, MsLeft(deadline)));
    pause_ms = std::min<DWORD>(pause_ms * 2, 50);
  }
}

bool TcpClient::PeerClosed() {
  if (state_->socket == INVALID_SOCKET) return true;
  char byte;
  const int n = ::recv(state_->socket, &byte, 1, MSG_PEEK);
  if (n > 0) return false;  // the peer said something; collectors do not, but it is alive
  if (n < 0 && ::WSAGetLastError() == WSAEWOULDBLOCK) return false;
  return true;
}

std::string LocalHostName() {
  char name[256] = {};
  if (!StartWinsock() || ::gethostname(name, sizeof name - 1) != 0 || name[0] == 0) return "localhost";
  return name;
}

}  // namespace qorlog::platform
