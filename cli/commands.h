// The commands of the qorlog program. A command file defines a function that
// attaches its subcommand to the application and registers it with
// QORLOG_CLI_COMMAND; main() attaches every registered command.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <vector>

namespace qorlog::cli {

// Where a command's outcome goes: main() returns it as the exit status.
struct Outcome {
  int exit_code = 0;
};

using CommandAdder = void (*)(CLI::App& app, Outcome& outcome);

// The registered commands, in registration order.
std::vector<CommandAdder>& RegisteredCommands();

struct CommandRegistration {
  explicit CommandRegistration(CommandAdder adder) { RegisteredCommands().push_back(adder); }
};

}  // namespace qorlog::cli

#define QORLOG_CLI_COMMAND(adder) \
  static const ::qorlog::cli::CommandRegistration adder##_registration{&adder}
