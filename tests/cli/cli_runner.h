// Runs the qorlog program as a child process and captures what it printed.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace qorlog::testing {

struct CliResult {
  int exit_code = -1;
  std::string out;
  std::string err;
};

// Starts `qorlog args...` with standard input closed and standard output and
// error written to the given files; the child's pid, or -1.
pid_t SpawnCli(const std::vector<std::string>& args, const std::string& out_path, const std::string& err_path);

// Runs `qorlog args...` with the current environment (tests point it at
// temporary folders first) and standard input closed.
CliResult RunCli(const std::vector<std::string>& args);

}  // namespace qorlog::testing
