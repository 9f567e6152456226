#include "platform/os_version.h"

namespace qorlog::platform {

DWORD GetVersionPlatformId() { return kVerPlatformWin32Nt; }

}  // namespace qorlog::platform
