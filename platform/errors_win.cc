// The thread's last error on Windows is the system's own: the backend's calls
// set it, and the code above reads and sets the same value.
#include <windows.h>

#include "platform/errors.h"

namespace qorlog::platform {

DWORD GetLastError() { return ::GetLastError(); }
void SetLastError(DWORD error) { ::SetLastError(error); }

}  // namespace qorlog::platform
