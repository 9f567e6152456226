// A TCP client connection for sending a byte stream to a collector, and the
// name this machine gives itself.
//
// Delivery: TCP alone says nothing about what the peer received. Delivered()
// waits until the peer's system has acknowledged every byte sent, which is
// as far as a one-way stream can know; a sender that moves its position only
// after that loses nothing to a connection that breaks with data in flight.
// A collector that restarted leaves the old connection half-closed: a write
// into it can still succeed locally and vanish, so PeerClosed() is asked
// before each batch and the caller reconnects when it says so.
//
// Errors are Windows Sockets codes (10060 timed out, 10061 refused, 11001
// host not found, ...), as the rest of the platform layer speaks Windows
// codes; TcpErrorText() puts them into words.
//
// Thread rules: a TcpClient is used by one thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace qorlog::platform {

inline constexpr DWORD kWsaTimedOut = 10060;
inline constexpr DWORD kWsaConnRefused = 10061;
inline constexpr DWORD kWsaConnReset = 10054;
inline constexpr DWORD kWsaNotConnected = 10057;
inline constexpr DWORD kWsaHostUnreachable = 10065;
inline constexpr DWORD kWsaNetUnreachable = 10051;
inline constexpr DWORD kWsaHostNotFound = 11001;

// The TLS client (platform/tls_client.h) is a TcpClient too, so a sender
// holds either through this class.
class TcpClient {
 public:
  TcpClient();
  virtual ~TcpClient();
  TcpClient(const TcpClient&) = delete;
  TcpClient& operator=(const TcpClient&) = delete;

  // Resolves `host` (a name or an address) and connects to the first address
  // that answers within `timeout_ms`. Closes any previous connection first.
  // 0 or an error code.
  virtual DWORD Connect(const std::string& host, std::uint16_t port, DWORD timeout_ms);
  bool IsConnected() const;
  virtual void Close();

  // Sends every byte, waiting at most `timeout_ms` for room to write. 0 or an
  // error code; on an error the connection is closed.
  virtual DWORD Send(std::string_view bytes, DWORD timeout_ms);

  // Waits until the peer has acknowledged every byte sent so far. 0, or an
  // error code (timed out, reset); on an error the connection is closed.
  DWORD Delivered(DWORD timeout_ms);

  // True when the peer has closed or reset the connection (or it is not
  // connected). Does not wait and consumes nothing.
  virtual bool PeerClosed();

  // An error code of this client in words (TcpErrorText for TCP's).
  virtual std::string ErrorText(DWORD error) const;

 protected:
  // The connected socket, for the TLS layer on top; -1 when not connected.
  std::intptr_t socket() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// "connection refused", "timed out", ... and "error N" for other codes.
std::string TcpErrorText(DWORD error);

// This machine's host name (the first label is not cut off); "localhost"
// when it has none.
std::string LocalHostName();

}  // namespace qorlog::platform
