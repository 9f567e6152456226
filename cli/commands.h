// The commands of the qorlog program. Each command file defines one adder
// that attaches its subcommand to the application; command_table.cc lists
// the adders in the order `qorlog --help` shows them.
#pragma once

#include <CLI/CLI.hpp>

#include "cli/exit_codes.h"

namespace qorlog::cli {

// Where a command's outcome goes: main() returns it as the exit status.
struct Outcome {
  ExitCode exit_code = ExitCode::kSuccess;
};

using CommandAdder = void (*)(CLI::App& app, Outcome& outcome);

// Attaches every command of the table, in its order.
void AddCommands(CLI::App& app, Outcome& outcome);

}  // namespace qorlog::cli
