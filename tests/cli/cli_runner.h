// Runs the qorlog program as a child process and captures what it printed.
#pragma once

#include <string>
#include <vector>

namespace qorlog::testing {

struct CliResult {
  int exit_code = -1;
  std::string out;
  std::string err;
};

// Runs `qorlog args...` with the current environment (tests point it at
// temporary folders first) and standard input closed.
CliResult RunCli(const std::vector<std::string>& args);

}  // namespace qorlog::testing
