// TlsClient with OpenSSL's libssl over the TcpClient's non-blocking socket:
// every step that wants to read or write waits in poll() with the caller's
// time limit.
#include "platform/tls_client.h"

#include <cerrno>

#include <arpa/inet.h>
#include <poll.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <chrono>

#include "platform/posix/errno_table.h"

namespace qorlog::platform {

namespace {

using Clock = std::chrono::steady_clock;

struct SslCtxFree {
  void operator()(SSL_CTX* ctx) const { SSL_CTX_free(ctx); }
};
struct SslFree {
  void operator()(SSL* ssl) const { SSL_free(ssl); }
};
struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
struct InfoStackFree {
  void operator()(STACK_OF(X509_INFO) * infos) const { sk_X509_INFO_pop_free(infos, X509_INFO_free); }
};

// Waits until the socket is ready for what OpenSSL asked (`want` from
// SSL_get_error). False on time-out.
bool WaitFor(int fd, int want, Clock::time_point deadline) {
  const short events = want == SSL_ERROR_WANT_WRITE ? POLLOUT : POLLIN;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd p = {fd, events, 0};
    const int rc = ::poll(&p, 1, static_cast<int>(std::clamp<long long>(left, 0, 0x7FFFFFFF)));
    if (rc < 0 && errno == EINTR) continue;
    return rc > 0;
  }
}

DWORD VerifyError(long result) {
  switch (result) {
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
      return kSecWrongPrincipal;
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID:
      return kCertExpired;
    default:
      return kSecUntrustedRoot;
  }
}

}  // namespace

struct TlsClient::Tls {
  std::unique_ptr<SSL_CTX, SslCtxFree> ctx;
  std::unique_ptr<SSL, SslFree> ssl;
  bool trusted = false;        // a CA file was loaded
  std::string verify_failure;  // what the last certificate check found
};

TlsClient::TlsClient() : tls_(std::make_unique<Tls>()) {
  tls_->ctx.reset(SSL_CTX_new(TLS_client_method()));
  if (tls_->ctx) {
    SSL_CTX_set_min_proto_version(tls_->ctx.get(), TLS1_2_VERSION);
    SSL_CTX_set_verify(tls_->ctx.get(), SSL_VERIFY_PEER, nullptr);
    // A write may be taken in parts while the socket is full; OpenSSL then
    // must accept the rest from the same string at another address.
    SSL_CTX_set_mode(tls_->ctx.get(), SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER | SSL_MODE_ENABLE_PARTIAL_WRITE);
  }
}

TlsClient::~TlsClient() { Close(); }

DWORD TlsClient::LoadCaFile(const std::string& path) {
  std::unique_ptr<BIO, BioFree> bio(BIO_new_file(path.c_str(), "r"));
  if (!bio) {
    const int err = errno;
    ERR_clear_error();
    return posix::ErrorFromErrno(err != 0 ? err : ENOENT, path);
  }
  std::unique_ptr<STACK_OF(X509_INFO), InfoStackFree> infos(PEM_X509_INFO_read_bio(bio.get(), nullptr, nullptr, nullptr));
  ERR_clear_error();
  if (!infos || !tls_->ctx) return kErrorInvalidData;
  X509_STORE* store = SSL_CTX_get_cert_store(tls_->ctx.get());
  int added = 0;
  for (int i = 0; i < sk_X509_INFO_num(infos.get()); ++i) {
    X509_INFO* info = sk_X509_INFO_value(infos.get(), i);
    if (info->x509 != nullptr && X509_STORE_add_cert(store, info->x509) == 1) ++added;
  }
  ERR_clear_error();
  if (added == 0) return kErrorInvalidData;
  tls_->trusted = true;
  return 0;
}

DWORD TlsClient::Connect(const std::string& host, std::uint16_t port, DWORD timeout_ms) {
  Close();
  tls_->verify_failure.clear();
  if (!tls_->trusted) return kSecUntrustedRoot;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  if (const DWORD error = TcpClient::Connect(host, port, timeout_ms); error != 0) return error;
  const int fd = static_cast<int>(socket());
  tls_->ssl.reset(SSL_new(tls_->ctx.get()));
  SSL* ssl = tls_->ssl.get();
  if (ssl == nullptr || SSL_set_fd(ssl, fd) != 1) {
    Close();
    return kSecInternalError;
  }
  // The name to check: an address literal against the certificate's IP
  // entries, a DNS name against its DNS entries (and sent as SNI).
  unsigned char address[16];
  const bool is_address = inet_pton(AF_INET, host.c_str(), address) == 1 || inet_pton(AF_INET6, host.c_str(), address) == 1;
  X509_VERIFY_PARAM* param = SSL_get0_param(ssl);
  if (is_address) {
    X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str());
  } else {
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    SSL_set1_host(ssl, host.c_str());
    SSL_set_tlsext_host_name(ssl, host.c_str());
  }
  for (;;) {
    const int rc = SSL_connect(ssl);
    if (rc == 1) return 0;
    const int want = SSL_get_error(ssl, rc);
    if ((want == SSL_ERROR_WANT_READ || want == SSL_ERROR_WANT_WRITE) && WaitFor(fd, want, deadline)) continue;
    DWORD error = kSecIllegalMessage;
    if (want == SSL_ERROR_WANT_READ || want == SSL_ERROR_WANT_WRITE) {
      error = kWsaTimedOut;
    } else if (const long result = SSL_get_verify_result(ssl); result != X509_V_OK) {
      error = VerifyError(result);
      tls_->verify_failure = X509_verify_cert_error_string(result);
    } else if (want == SSL_ERROR_SYSCALL && ERR_peek_error() == 0) {
      error = kWsaConnReset;  // the peer closed or reset the connection during the handshake
    }
    ERR_clear_error();
    Close();
    return error;
  }
}

void TlsClient::Close() {
  // No closing alert: the stream is simply given up, as with plain TCP.
  tls_->ssl.reset();
  TcpClient::Close();
}

DWORD TlsClient::Send(std::string_view bytes, DWORD timeout_ms) {
  SSL* ssl = tls_->ssl.get();
  if (ssl == nullptr || !IsConnected()) return kWsaNotConnected;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  const int fd = static_cast<int>(socket());
  while (!bytes.empty()) {
    const int chunk = static_cast<int>(std::min<std::size_t>(bytes.size(), 1 << 30));
    const int n = SSL_write(ssl, bytes.data(), chunk);
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    const int want = SSL_get_error(ssl, n);
    if ((want == SSL_ERROR_WANT_READ || want == SSL_ERROR_WANT_WRITE) && WaitFor(fd, want, deadline)) continue;
    const DWORD error = want == SSL_ERROR_WANT_READ || want == SSL_ERROR_WANT_WRITE ? kWsaTimedOut : kWsaConnReset;
    ERR_clear_error();
    Close();
    return error;
  }
  return 0;
}

bool TlsClient::PeerClosed() {
  SSL* ssl = tls_->ssl.get();
  if (ssl == nullptr || TcpClient::PeerClosed()) return true;
  // Bytes are waiting: TLS records of the peer. Read them (the socket does
  // not block); a closing alert or a broken record means the peer is gone.
  char discard[4096];
  for (;;) {
    const int n = SSL_read(ssl, discard, sizeof discard);
    if (n > 0) continue;
    const int why = SSL_get_error(ssl, n);
    ERR_clear_error();
    if (why == SSL_ERROR_WANT_READ || why == SSL_ERROR_WANT_WRITE) return TcpClient::PeerClosed();
    return true;
  }
}

std::string TlsClient::ErrorText(DWORD error) const {
  switch (error) {
    case kSecUntrustedRoot:
    case kSecWrongPrincipal:
    case kCertExpired: {
      const std::string detail = tls_->verify_failure.empty() ? std::string() : ": " + tls_->verify_failure;
      if (error == kSecWrongPrincipal) return "the collector's certificate is for another host name" + detail;
      if (error == kCertExpired) return "the collector's certificate has expired or is not valid yet" + detail;
      return "the collector's certificate is not signed by a CA of the CA file" + detail;
    }
    case kSecIllegalMessage:
      return "the TLS handshake failed (not a TLS 1.2 or later collector?)";
    case kSecInternalError:
      return "TLS could not be set up";
    default:
      return TcpClient::ErrorText(error);
  }
}

}  // namespace qorlog::platform
