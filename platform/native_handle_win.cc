// The owned HANDLE: its value is the HANDLE itself, and INVALID_HANDLE_VALUE
// is kInvalid.
#include <windows.h>

#include "platform/errors.h"
#include "platform/fault_point.h"
#include "platform/native_handle.h"

namespace qorlog::platform {

DWORD NativeHandle::Close() {
  if (value_ == kInvalid) return kErrorSuccess;
  const HANDLE handle = reinterpret_cast<HANDLE>(Release());
  // An injected failure still releases the handle, as a real one does.
  const auto injected = fault::Check(fault::Call::kClose);
  const BOOL closed = ::CloseHandle(handle);
  if (injected.error != 0) return injected.error;
  return closed ? kErrorSuccess : ::GetLastError();
}

}  // namespace qorlog::platform
