// Runs a function in a forked child and reports its exit status, so that a
// test can hold a file or lock in another process. The child exits with the
// function's result and never returns into the test framework.
#pragma once

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace qorlog::testing {

// A child that runs `body` and then waits until released: the parent reads one
// byte from `ready` when the child is set up, and the child blocks until the
// parent closes `go` (or the child is killed).
class HeldChild {
 public:
  explicit HeldChild(std::function<int()> body) {
    int ready[2], go[2];
    if (pipe(ready) != 0 || pipe(go) != 0) _exit(99);
    pid_ = fork();
    if (pid_ == 0) {
      close(ready[0]);
      close(go[1]);
      const int rc = body();
      const char c = static_cast<char>(rc);
      (void)!write(ready[1], &c, 1);
      char x;
      (void)!read(go[0], &x, 1);  // returns when the parent lets go
      _exit(rc);
    }
    close(ready[1]);
    close(go[0]);
    go_ = go[1];
    char c = 99;
    if (read(ready[0], &c, 1) != 1) c = 99;
    close(ready[0]);
    setup_result_ = c;
  }
  ~HeldChild() { Release(); }

  // What `body` returned.
  int setup_result() const { return setup_result_; }
  // Lets the child finish and returns its exit status.
  int Release() {
    if (pid_ <= 0) return -1;
    close(go_);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  int go_ = -1;
  int setup_result_ = 99;
};

}  // namespace qorlog::testing
