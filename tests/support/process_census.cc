#include "tests/support/process_census.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/wait.h>

#include <cerrno>
#endif

namespace qorlog::testing {

#ifdef _WIN32

int OpenHandleCount() {
  DWORD count = 0;
  return ::GetProcessHandleCount(::GetCurrentProcess(), &count) ? static_cast<int>(count) : -1;
}

bool HasNoChildren() { return true; }

#else

int OpenHandleCount() {
  int n = 0;
  for (int fd = 0; fd < 4096; ++fd) {
    if (fcntl(fd, F_GETFD) != -1) ++n;
  }
  return n;
}

bool HasNoChildren() {
  int status;
  return waitpid(-1, &status, WNOHANG) == -1 && errno == ECHILD;
}

#endif

}  // namespace qorlog::testing
