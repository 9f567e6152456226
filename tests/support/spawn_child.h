// A second process for tests, the same way on every system: the test program
// starts itself with "--child ROLE FOLDER ARGS...", and the main of this
// helper (spawn_main.cc, which takes the place of GoogleTest's) runs the role
// instead of the tests. No fork: a role starts from main in a fresh process,
// as on Windows.
//
// A role is a function registered by name with QORLOG_CHILD_ROLE. It reports
// that it is set up with Ready(result) and can then wait in WaitForRelease()
// until the test lets it go; what it returns is the process's exit code. A
// role that must end as a killed process would (no destructors, handles and
// locks left to the system) calls std::_Exit, or the test kills it from
// outside with Kill().
//
// The two sides meet through files in a private folder of the parent's, so
// the helper needs no system call of its own beyond platform::StartAndWait
// (and platform::KillProcess for Kill()).
//
// Thread rules: a ChildProcess is used by one thread.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_env.h"

namespace qorlog::testing {

// The child's side, handed to its role.
class ChildChannel {
 public:
  explicit ChildChannel(std::filesystem::path folder) : folder_(std::move(folder)) {}
  // Tells the parent that the role is set up, with a result (0..255).
  void Ready(int result) const;
  // Returns once the parent called Release() (or went away).
  void WaitForRelease() const;
  // True once the parent called Release() (or went away): for roles that
  // have work of their own to do meanwhile.
  bool Released() const;

 private:
  std::filesystem::path folder_;
};

using ChildRole = std::function<int(const std::vector<std::string>& args, const ChildChannel& channel)>;

// Registers a role under `name` (through QORLOG_CHILD_ROLE, at start-up).
bool RegisterChildRole(const std::string& name, ChildRole role);

#define QORLOG_CHILD_ROLE_CONCAT2(a, b) a##b
#define QORLOG_CHILD_ROLE_CONCAT(a, b) QORLOG_CHILD_ROLE_CONCAT2(a, b)
// QORLOG_CHILD_ROLE("name", [](const auto& args, const auto& channel) { ... });
#define QORLOG_CHILD_ROLE(name, ...)                                                   \
  static const bool QORLOG_CHILD_ROLE_CONCAT(qorlog_child_role_, __LINE__) = \
      ::qorlog::testing::RegisterChildRole(name, __VA_ARGS__)

// The parent's side: starts the role in a second process at once and waits
// for its end on a thread of its own. The destructor releases the child and
// waits for its end.
class ChildProcess {
 public:
  explicit ChildProcess(const std::string& role, const std::vector<std::string>& args = {});
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Waits until the role called Ready() and returns its result; -1 when the
  // process ended (or could not start) before.
  int WaitReady();
  // Lets the role go on past WaitForRelease(), waits for the process's end
  // and returns its exit code (-1 when it could not start).
  int Release();
  // Ends the started process as a crash would (no code of it runs any more;
  // the system closes its handles and abandons its mutexes), waits for its
  // end and returns its exit code.
  int Kill();

 private:
  TempDir folder_;
  std::thread waiter_;
  int exit_code_ = -1;
  bool ended_ = false;
};

// The path of the running test program, as main received it.
const std::string& SelfPath();

}  // namespace qorlog::testing
