// The TLS client on Windows: not available. The Windows build has no TLS
// library (SChannel would be the system's own, and is not wired up), so
// Connect() makes no connection and answers SEC_E_SECPKG_NOT_FOUND, which
// ErrorText() words as "TLS is not available on Windows": a sender reports
// that instead of sending anything in the clear.
//
// LoadCaFile() still keeps its promise about the file, so that a wrong
// --ca-file is reported as such: it reads the file and looks for a PEM
// certificate block. It does not parse the certificates; nothing here would
// use them.
#include <windows.h>

#include <string>

#include "platform/text.h"
#include "platform/tls_client.h"

namespace qorlog::platform {

namespace {

constexpr DWORD kSecPackageNotFound = 0x80090305;  // SEC_E_SECPKG_NOT_FOUND
// What makes a file a PEM file with a certificate.
constexpr std::string_view kPemCertificate = "-----BEGIN CERTIFICATE-----";
// A CA file larger than this is not read whole: the marker is in its start.
constexpr DWORD kLongestCaRead = 1 << 20;

}  // namespace

struct TlsClient::Tls {};

TlsClient::TlsClient() : tls_(std::make_unique<Tls>()) {}
TlsClient::~TlsClient() = default;

DWORD TlsClient::LoadCaFile(const std::string& path) {
  const std::u16string native = Utf8ToUtf16(path);
  const std::wstring wide(native.begin(), native.end());
  const HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ::GetLastError();
  std::string text(kLongestCaRead, '\0');
  DWORD read = 0;
  const BOOL ok = ::ReadFile(file, text.data(), kLongestCaRead, &read, nullptr);
  const DWORD error = ok ? 0 : ::GetLastError();
  ::CloseHandle(file);
  if (!ok) return error;
  text.resize(read);
  return text.find(kPemCertificate) == std::string::npos ? kErrorInvalidData : 0;
}

DWORD TlsClient::Connect(const std::string&, std::uint16_t, DWORD) {
  Close();
  return kSecPackageNotFound;
}

void TlsClient::Close() { TcpClient::Close(); }

DWORD TlsClient::Send(std::string_view bytes, DWORD timeout_ms) { return TcpClient::Send(bytes, timeout_ms); }

bool TlsClient::PeerClosed() { return TcpClient::PeerClosed(); }

std::string TlsClient::ErrorText(DWORD error) const {
  if (error == kSecPackageNotFound) return "TLS is not available on Windows";
  return TcpClient::ErrorText(error);
}

}  // namespace qorlog::platform
