#include <pthread.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "platform/posix/session_paths.h"
#include "platform/posix/sys.h"
#include "platform/system.h"

namespace qorlog::platform {

SYSTEMTIME GetLocalTime() {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  struct tm tm;
  localtime_r(&ts.tv_sec, &tm);
  SYSTEMTIME st;
  st.wYear = static_cast<uint16_t>(tm.tm_year + 1900);
  st.wMonth = static_cast<uint16_t>(tm.tm_mon + 1);
  st.wDayOfWeek = static_cast<uint16_t>(tm.tm_wday);
  st.wDay = static_cast<uint16_t>(tm.tm_mday);
  st.wHour = static_cast<uint16_t>(tm.tm_hour);
  st.wMinute = static_cast<uint16_t>(tm.tm_min);
  st.wSecond = static_cast<uint16_t>(tm.tm_sec > 59 ? 59 : tm.tm_sec);
  st.wMilliseconds = static_cast<uint16_t>(ts.tv_nsec / 1000000);
  return st;
}

bool IsTerminal(StandardStream stream) {
  const int fd = stream == StandardStream::kInput ? STDIN_FILENO
                 : stream == StandardStream::kOutput ? STDOUT_FILENO
                                                    : STDERR_FILENO;
  return ::isatty(fd) == 1;
}

void SleepMilliseconds(DWORD milliseconds) {
  struct timespec ts = {static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000};
  // An interrupted sleep goes on with the time that was left.
  posix::RetryOnEintr([&] { return ::nanosleep(&ts, &ts); });
}

namespace {

// The process id for the probe, asked once per process: a fork handler
// forgets it in the child, which asks again.
std::atomic<pid_t> g_own_pid{0};

pid_t OwnPid() {
  pid_t pid = g_own_pid.load(std::memory_order_relaxed);
  if (pid != 0) return pid;
  static const bool forget_in_child = [] {
    return ::pthread_atfork(nullptr, nullptr, [] { g_own_pid.store(0, std::memory_order_relaxed); }) == 0;
  }();
  pid = ::getpid();
  if (forget_in_child) g_own_pid.store(pid, std::memory_order_relaxed);
  return pid;
}

}  // namespace

bool IsBadReadPtr(const void* p, std::size_t size) {
  if (p == nullptr) return true;
  // process_vm_readv on our own process copies through the kernel, which
  // reports EFAULT for an unmapped page instead of raising a signal.
  char buf[4096];
  auto* src = static_cast<const char*>(p);
  while (size > 0) {
    const std::size_t chunk = size < sizeof buf ? size : sizeof buf;
    struct iovec local = {buf, chunk};
    struct iovec remote = {const_cast<char*>(src), chunk};
    const ssize_t n = process_vm_readv(OwnPid(), &local, 1, &remote, 1, 0);
    if (n != static_cast<ssize_t>(chunk)) return true;
    src += chunk;
    size -= chunk;
  }
  return false;
}

namespace posix {

namespace {

// Creates `path` with `mode` if missing and checks that it is a folder owned
// by the user (or by root for the shared folder) that nobody else may change.
bool EnsureOwnedFolder(const std::string& path, mode_t mode, bool shared) {
  if (::mkdir(path.c_str(), mode) == 0) {
    ::chmod(path.c_str(), mode);  // not narrowed by the umask
  } else if (errno != EEXIST) {
    return false;
  }
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  if (shared) return (st.st_mode & S_ISVTX) != 0 || st.st_uid == getuid();
  return st.st_uid == getuid() && (st.st_mode & 077) == 0;
}

bool OwnedByUser(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid();
}

}  // namespace

std::string SessionFolder() {
  std::string base;
  if (const char* xdg = std::getenv("XDG_RUNTIME_DIR"); xdg != nullptr && *xdg != 0) {
    base = xdg;
  } else if (std::string run = "/run/user/" + std::to_string(getuid()); OwnedByUser(run)) {
    base = run;
  }
  std::string folder = base.empty() ? "/tmp/qorlog-" + std::to_string(getuid()) : base + "/qorlog";
  return EnsureOwnedFolder(folder, 0700, false) ? folder : std::string();
}

std::string MachineFolder() {
  // QORLOG_GLOBAL_DIR moves the machine-wide scope, e.g. for tests that must
  // not meet the objects of real programs.
  const char* env = std::getenv("QORLOG_GLOBAL_DIR");
  const std::string folder = env != nullptr && *env != 0 ? std::string(env) : "/tmp/qorlog-global";
  return EnsureOwnedFolder(folder, 01777, true) ? folder : std::string();
}

}  // namespace posix

}  // namespace qorlog::platform
