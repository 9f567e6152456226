// The thread's last error: kept per thread by the library on POSIX (Windows
// keeps its own, see errors_win.cc).
#include "platform/errors.h"

namespace qorlog::platform {

namespace {
thread_local DWORD g_last_error = 0;
}  // namespace

DWORD GetLastError() { return g_last_error; }
void SetLastError(DWORD error) { g_last_error = error; }

}  // namespace qorlog::platform
