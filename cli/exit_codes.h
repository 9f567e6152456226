// The exit statuses of the qorlog program, the same for every command, and
// the one way its messages reach standard error ("qorlog: ..."). `qorlog
// --help` lists the statuses (ExitCodeHelp).
#pragma once

#include <string>
#include <string_view>

namespace qorlog::cli {

enum class ExitCode : int {
  kSuccess = 0,   // done; for a question, the answer is yes (policy on, settings fresh)
  kNegative = 1,  // the answer is no: policy off, settings stale or unstamped, no such key
  kUsage = 2,     // the command line is wrong or names something that is not there
  kDamaged = 3,   // damaged or cut-off data was found (what could be read is still shown)
  kFailed = 4,    // the operation failed: registry, file system, a busy receiver, ...
};

// The table above as printed at the end of `qorlog --help`.
std::string ExitCodeHelp();

// Writes "qorlog: <message>" and a line break to standard error and returns
// `code`, so that a command can `return Fail(ExitCode::kUsage, "...")`.
ExitCode Fail(ExitCode code, std::string_view message);
// Writes "qorlog: <message>" to standard error; the command goes on.
void Note(std::string_view message);

}  // namespace qorlog::cli
