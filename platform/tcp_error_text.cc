// The words for the Windows Sockets codes that the TCP and TLS clients
// answer, the same on both systems.
#include <string>

#include "platform/tcp_client.h"

namespace qorlog::platform {

std::string TcpErrorText(DWORD error) {
  switch (error) {
    case kWsaTimedOut:
      return "timed out";
    case kWsaConnRefused:
      return "connection refused";
    case kWsaConnReset:
      return "connection reset by the peer";
    case kWsaNotConnected:
      return "not connected";
    case kWsaHostUnreachable:
      return "host unreachable";
    case kWsaNetUnreachable:
      return "network unreachable";
    case kWsaHostNotFound:
      return "host not found";
    default:
      return "error " + std::to_string(error);
  }
}

}  // namespace qorlog::platform
