// The options that qorlog export and qorlog forward share: which kinds, the
// time range, follow, the cursor file and the batch size.
#pragma once

#include <CLI/CLI.hpp>
#include <memory>
#include <string>
#include <vector>

#include "cli/export_walk.h"

namespace qorlog::cli {

struct SharedExportArgs {
  std::vector<std::string> kinds;
  bool all = false;
  std::string since;
  std::string until;
  bool follow = false;
  std::string cursor_file;
  bool show_cursor = false;
  std::size_t batch = 1000;
};

// Adds the shared options to `cmd`.
void AddSharedExportOptions(CLI::App* cmd, SharedExportArgs* args);

// Checks the shared arguments and fills *options (command, kinds, times,
// follow, cursor, batch, host). On a bad argument says why on stderr and
// returns false.
bool MakeWalkOptions(const std::string& command, const SharedExportArgs& args, WalkOptions* options);

// --show-cursor: prints where the last run stopped. 0; 1 when there is no
// cursor yet; 2 when it cannot be used.
ExitCode ShowCursor(const std::string& command, const std::string& path);

}  // namespace qorlog::cli
