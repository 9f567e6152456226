// A TLS client connection (TLS 1.2 or later) for sending a byte stream to a
// collector: a TcpClient whose bytes are encrypted, and which talks only to
// a peer whose certificate chains to a CA of the caller's CA file and names
// the host that was asked for (a DNS name, or an IP address in the
// certificate's IP entries).
//
// Delivery is judged as for plain TCP: Delivered() waits until the peer's
// system has acknowledged every byte on the socket, which holds the records
// once Send() has returned. PeerClosed() also reads what the peer sent
// (session tickets, a closing alert) and throws it away: collectors send no
// data of their own.
//
// Errors are those of TcpClient, and for TLS the Security Support Provider
// codes of Windows' SChannel (kSecUntrustedRoot, kSecWrongPrincipal, ...);
// ErrorText() puts them into words, with what the certificate check found. Implemented with OpenSSL's libssl on
// POSIX; the Windows backend has none yet (the Windows build does not make
// the qorlog program).
//
// OpenSSL writes to the socket with write(2), not with MSG_NOSIGNAL: the
// process must ignore SIGPIPE (StopOnTerminationSignals() does), or a peer
// that is gone ends it.
//
// Thread rules: a TlsClient is used by one thread.
#pragma once

#include <memory>
#include <string>

#include "platform/tcp_client.h"

namespace qorlog::platform {

inline constexpr DWORD kSecInternalError = 0x80090304;  // a handshake that failed otherwise
inline constexpr DWORD kSecWrongPrincipal = 0x80090322;  // the certificate names another host
inline constexpr DWORD kSecUntrustedRoot = 0x80090325;   // no chain to a CA of the CA file
inline constexpr DWORD kSecIllegalMessage = 0x80090326;  // the peer does not speak TLS (1.2 or later)
inline constexpr DWORD kCertExpired = 0x800B0101;        // outside its validity period
inline constexpr DWORD kErrorInvalidData = 13;           // a CA file without certificates

class TlsClient : public TcpClient {
 public:
  TlsClient();
  ~TlsClient() override;

  // Reads the CA certificates (PEM) to trust. 0; a system error code for a
  // file that cannot be read (2, 3, 5); 13 for one without a certificate.
  // Until it succeeds every Connect fails with kSecUntrustedRoot.
  DWORD LoadCaFile(const std::string& path);

  // Connects as TcpClient does, then makes the TLS handshake within the
  // same time limit and checks the peer's certificate against the CA file
  // and `host`. 0 or an error code; on an error the connection is closed.
  DWORD Connect(const std::string& host, std::uint16_t port, DWORD timeout_ms) override;
  void Close() override;
  DWORD Send(std::string_view bytes, DWORD timeout_ms) override;
  bool PeerClosed() override;
  std::string ErrorText(DWORD error) const override;

 private:
  struct Tls;
  std::unique_ptr<Tls> tls_;
};

}  // namespace qorlog::platform
