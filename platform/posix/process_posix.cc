#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "platform/errors.h"
#include "platform/posix/ready_notice.h"
#include "platform/posix/sys.h"
#include "platform/process.h"

extern char** environ;

namespace qorlog::platform {

namespace {

using posix::ErrorFromErrno;
using posix::FdOf;
using posix::kReadyFdVariable;
using posix::RetryOnEintr;

// Everything posix_spawn needs, built before any fork(): after fork() in a
// process with threads the child may only do async-signal-safe work, so it
// must not allocate. glibc's posix_spawn takes its stack from mmap and works
// only on what it is given, which keeps the intermediate child below safe.
class SpawnPlan {
 public:
  SpawnPlan(const std::vector<std::string>& argv, ShowMode show, int ready_fd_source, int ready_fd_target,
            const OutputFiles* files = nullptr)
      : args_(argv) {
    for (auto& a : args_) argv_.push_back(a.data());
    argv_.push_back(nullptr);
    const std::string prefix = std::string(kReadyFdVariable) + "=";
    for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
      if (std::strncmp(*e, prefix.c_str(), prefix.size()) != 0) env_.emplace_back(*e);
    }
    if (ready_fd_source >= 0) env_.push_back(prefix + std::to_string(ready_fd_target));
    for (auto& e : env_) envp_.push_back(e.data());
    envp_.push_back(nullptr);

    posix_spawn_file_actions_init(&actions_);
    // The readiness pipe first, so that the redirections below cannot clobber
    // it. dup2 onto another number clears close-on-exec in the child only;
    // the pipe itself stays close-on-exec so that no other program that this
    // process starts meanwhile inherits it.
    if (ready_fd_source >= 0) posix_spawn_file_actions_adddup2(&actions_, ready_fd_source, ready_fd_target);
    if (files != nullptr) {
      // Opened by the child, so the files are never open in this process.
      constexpr int kCreate = O_WRONLY | O_CREAT | O_TRUNC;
      posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
      posix_spawn_file_actions_addopen(&actions_, STDOUT_FILENO, files->output.c_str(), kCreate, 0600);
      posix_spawn_file_actions_addopen(&actions_, STDERR_FILENO, files->error.c_str(), kCreate, 0600);
    } else if (show == ShowMode::kHidden) {
      posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
      posix_spawn_file_actions_addopen(&actions_, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    posix_spawnattr_init(&attr_);
    // The caller's blocked and ignored signals are its own business, not the
    // started program's.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr_, &none);
    posix_spawnattr_setsigdefault(&attr_, &all);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (show == ShowMode::kHidden) flags |= POSIX_SPAWN_SETSID;
    posix_spawnattr_setflags(&attr_, flags);
  }
  ~SpawnPlan() {
    posix_spawn_file_actions_destroy(&actions_);
    posix_spawnattr_destroy(&attr_);
  }
  SpawnPlan(const SpawnPlan&) = delete;
  SpawnPlan& operator=(const SpawnPlan&) = delete;

  int Spawn(pid_t* pid) { return posix_spawn(pid, argv_[0], &actions_, &attr_, argv_.data(), envp_.data()); }

 private:
  std::vector<std::string> args_;
  std::vector<char*> argv_;
  std::vector<std::string> env_;
  std::vector<char*> envp_;
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attr_;
};

// Waits for a child; its raw status, or -1 when it cannot be waited for.
int WaitChild(pid_t pid) {
  int status = 0;
  return RetryOnEintr([&] { return ::waitpid(pid, &status, 0); }) == pid ? status : -1;
}

// The error for a program that cannot be started, found before forking so
// that the common failures need no child at all.
DWORD CheckProgram(const std::vector<std::string>& argv) {
  if (argv.empty() || argv[0].empty()) return kErrorInvalidParameter;
  struct stat st;
  if (::stat(argv[0].c_str(), &st) != 0) return ErrorFromErrno(errno, argv[0]);
  if (!S_ISREG(st.st_mode) || ::access(argv[0].c_str(), X_OK) != 0) return kErrorAccessDenied;
  return kErrorSuccess;
}

std::int64_t NowMs() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

ReadyOutcome WaitForNotice(int fd, DWORD wait_ms) {
  const std::int64_t deadline = wait_ms == kInfinite ? -1 : NowMs() + wait_ms;
  struct pollfd p = {fd, POLLIN, 0};
  // Each retry waits only for the time left.
  const int rc = RetryOnEintr([&] {
    const int timeout = deadline < 0 ? -1 : static_cast<int>(std::max<std::int64_t>(0, deadline - NowMs()));
    return ::poll(&p, 1, timeout);
  });
  if (rc <= 0) return ReadyOutcome::kTimedOut;
  char c;
  const ssize_t n = RetryOnEintr([&] { return ::read(fd, &c, 1); });
  return n == 1 ? ReadyOutcome::kReady : ReadyOutcome::kExited;
}

}  // namespace

// Detaching: a program that this process starts is its child, and a child
// that ends stays a zombie until its parent waits for it. The library cannot
// wait (it returns to its caller, and it starts no threads and installs no
// SIGCHLD handler). So the program is started by a short-lived intermediate
// child (fork, then posix_spawn, then _exit) that this process reaps at once;
// the program is then an orphan that init (or the session's subreaper) reaps.
// The intermediate's exit status carries posix_spawn's error.
DWORD StartDetached(const std::vector<std::string>& argv, ShowMode show, DWORD ready_wait_ms,
                    ReadyOutcome* outcome) {
  if (outcome != nullptr) *outcome = ReadyOutcome::kTimedOut;
  if (DWORD rc = CheckProgram(argv); rc != 0) return rc;
  int pipe_fds[2] = {-1, -1};
  const bool wait_ready = ready_wait_ms != 0;
  if (wait_ready && ::pipe2(pipe_fds, O_CLOEXEC) != 0) return ErrorFromErrno(errno);
  NativeHandle notice_read(pipe_fds[0]);
  NativeHandle notice_write(pipe_fds[1]);
  const int target = std::max({pipe_fds[0], pipe_fds[1], STDERR_FILENO}) + 1;
  DWORD result = kErrorSuccess;
  {
    SpawnPlan plan(argv, show, wait_ready ? pipe_fds[1] : -1, target);
    const pid_t pid = ::fork();
    if (pid == 0) {
      pid_t grandchild;
      const int rc = plan.Spawn(&grandchild);
      _exit(rc == 0 ? 0 : std::min(rc, 255));
    }
    if (pid < 0) {
      result = ErrorFromErrno(errno);
    } else {
      const int status = WaitChild(pid);
      // -1: SIGCHLD is ignored, so the kernel reaped it; the pipe tells the rest.
      if (status != -1 && (!WIFEXITED(status) || WEXITSTATUS(status) != 0)) {
        result = WIFEXITED(status) ? ErrorFromErrno(WEXITSTATUS(status), argv[0]) : kErrorGenFailure;
      }
    }
  }
  notice_write.Close();  // from now on only the program holds the writing end
  if (wait_ready && result == kErrorSuccess) {
    const ReadyOutcome o = WaitForNotice(FdOf(notice_read), ready_wait_ms);
    if (outcome != nullptr) *outcome = o;
  }
  return result;
}

namespace {

DWORD SpawnAndWait(SpawnPlan& plan, const std::vector<std::string>& argv, DWORD* exit_code,
                   const std::function<void(DWORD)>& started) {
  pid_t pid = 0;
  if (const int rc = plan.Spawn(&pid); rc != 0) return ErrorFromErrno(rc, argv[0]);
  // The pid stays the program's until the wait below reaps it.
  if (started) started(static_cast<DWORD>(pid));
  const int status = WaitChild(pid);
  if (exit_code != nullptr) {
    if (status == -1) {
      *exit_code = 0;
    } else {
      *exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
  }
  return kErrorSuccess;
}

}  // namespace

DWORD StartAndWait(const std::vector<std::string>& argv, ShowMode show, DWORD* exit_code) {
  if (DWORD rc = CheckProgram(argv); rc != 0) return rc;
  SpawnPlan plan(argv, show, -1, -1);
  return SpawnAndWait(plan, argv, exit_code, nullptr);
}

DWORD StartAndWait(const std::vector<std::string>& argv, const OutputFiles& files, DWORD* exit_code,
                   const std::function<void(DWORD process_id)>& started) {
  if (DWORD rc = CheckProgram(argv); rc != 0) return rc;
  SpawnPlan plan(argv, ShowMode::kNormal, -1, -1, &files);
  return SpawnAndWait(plan, argv, exit_code, started);
}

bool SignalReady() {
  const char* value = std::getenv(kReadyFdVariable);
  if (value == nullptr || *value == 0) return false;
  char* end = nullptr;
  const long fd = std::strtol(value, &end, 10);
  ::unsetenv(kReadyFdVariable);
  if (*end != 0 || fd <= STDERR_FILENO || fd > 1 << 20) return false;
  // Only a pipe is a notice channel; an inherited stale number could name
  // any file of this process.
  struct stat st;
  if (::fstat(static_cast<int>(fd), &st) != 0 || !S_ISFIFO(st.st_mode)) return false;
  NativeHandle notice(fd);
  const char c = 1;
  return RetryOnEintr([&] { return ::write(FdOf(notice), &c, 1); }) == 1;
}

DWORD GetCurrentThreadId() { return static_cast<DWORD>(::syscall(SYS_gettid)); }

DWORD GetCurrentProcessId() { return static_cast<DWORD>(::getpid()); }

bool KillProcess(DWORD process_id) { return ::kill(static_cast<pid_t>(process_id), SIGKILL) == 0; }

bool AskToEnd(DWORD process_id) { return ::kill(static_cast<pid_t>(process_id), SIGTERM) == 0; }

}  // namespace qorlog::platform
