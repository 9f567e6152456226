// The command table: one line per command, in help order. A new command is
// one more line here naming the adder that its cmd_*.cc file defines.
#include "cli/commands.h"

#define QORLOG_CLI_COMMANDS(X) \
  X(AddWatchCommand)           \
  X(AddListCommand)            \
  X(AddShowCommand)            \
  X(AddWriteCommand)           \
  X(AddPruneCommand)           \
  X(AddPathsCommand)           \
  X(AddPolicyCommand)          \
  X(AddExportCommand)          \
  X(AddForwardCommand)         \
  X(AddSettingsCommand)        \
  X(AddTrayCommand)

namespace qorlog::cli {

#define QORLOG_DECLARE_ADDER(adder) void adder(CLI::App& app, Outcome& outcome);
QORLOG_CLI_COMMANDS(QORLOG_DECLARE_ADDER)
#undef QORLOG_DECLARE_ADDER

void AddCommands(CLI::App& app, Outcome& outcome) {
#define QORLOG_CALL_ADDER(adder) adder(app, outcome);
  QORLOG_CLI_COMMANDS(QORLOG_CALL_ADDER)
#undef QORLOG_CALL_ADDER
}

}  // namespace qorlog::cli
