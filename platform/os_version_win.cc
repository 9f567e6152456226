#include <windows.h>

#include "platform/os_version.h"

namespace qorlog::platform {

// GetVersionExW is deprecated and may lie to programs without a manifest, but
// its platform id is the one field it always reports truly: every system that
// runs 64-bit code is of the NT family.
DWORD GetVersionPlatformId() {
  OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  const BOOL ok = ::GetVersionExW(&info);
#pragma GCC diagnostic pop
  return ok ? info.dwPlatformId : kVerPlatformWin32Nt;
}

}  // namespace qorlog::platform
