#include "cli/exit_codes.h"

#include <iostream>

namespace qorlog::cli {

std::string ExitCodeHelp() {
  return "Exit status:\n"
         "  0  success; for a question the answer is yes (policy on, settings fresh)\n"
         "  1  the answer is no (policy off, settings stale or unstamped, no such key)\n"
         "  2  a usage or input error: a wrong option, kind or value, a missing file\n"
         "  3  damaged or cut-off data found (what could be read is still shown)\n"
         "  4  the operation failed (registry, file system, another receiver running)\n";
}

ExitCode Fail(ExitCode code, std::string_view message) {
  Note(message);
  return code;
}

void Note(std::string_view message) { std::cerr << "qorlog: " << message << "\n"; }

}  // namespace qorlog::cli
