// The commands of the qorlog program. Each Add*Command attaches one
// subcommand to the application; its callback runs it and sets the exit code.
#pragma once

#include <CLI/CLI.hpp>

namespace qorlog::cli {

// Where a command's outcome goes: main() returns it as the exit status.
struct Outcome {
  int exit_code = 0;
};

void AddPathsCommand(CLI::App& app, Outcome& outcome);

}  // namespace qorlog::cli
