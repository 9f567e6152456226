// qorlog: the suite's log viewer and admin tool on Linux.
#include <iostream>

#include "cli/commands.h"

namespace qorlog::cli {
std::vector<CommandAdder>& RegisteredCommands() {
  static std::vector<CommandAdder> commands;
  return commands;
}
}  // namespace qorlog::cli

int main(int argc, char** argv) {
  CLI::App app{"qorlog - list, read, write and prune the suite's logs"};
  app.require_subcommand(0, 1);
  qorlog::cli::Outcome outcome;
  for (auto adder : qorlog::cli::RegisteredCommands()) adder(app, outcome);
  // Without arguments the program is the live viewer: that is how the library
  // starts it.
  std::vector<const char*> args(argv, argv + argc);
  if (argc == 1) args.push_back("watch");
  try {
    app.parse(static_cast<int>(args.size()), args.data());
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }
  if (app.get_subcommands().empty()) {
    std::cout << app.help();
    return 0;
  }
  return outcome.exit_code;
}
