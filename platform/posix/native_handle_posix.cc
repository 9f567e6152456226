#include <unistd.h>

#include <cerrno>

#include "platform/errors.h"
#include "platform/fault_point.h"
#include "platform/native_handle.h"
#include "platform/posix/errno_table.h"

namespace qorlog::platform {

DWORD NativeHandle::Close() {
  if (value_ == kInvalid) return kErrorSuccess;
  const int fd = static_cast<int>(Release());
  // An injected failure still releases the descriptor, as a real one does.
  const auto injected = fault::Check(fault::Call::kClose);
  const int rc = ::close(fd);
  if (injected.error != 0) return injected.error;
  // EINTR: the descriptor is released all the same (see RetryOnEintr).
  return rc == 0 || errno == EINTR ? kErrorSuccess : posix::ErrorFromErrno(errno);
}

}  // namespace qorlog::platform
