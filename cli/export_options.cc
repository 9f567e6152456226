#include "cli/export_options.h"

#include <algorithm>
#include <iostream>

#include "cli/export_cursor.h"
#include "cli/export_time.h"
#include "cli/log_kind.h"
#include "platform/tcp_client.h"

namespace qorlog::cli {

void AddSharedExportOptions(CLI::App* cmd, SharedExportArgs* args) {
  auto* kind = cmd->add_option("--kind", args->kinds,
                               "Kind number or category name (pc-scan, firewall, ..., etc); repeat for several");
  cmd->add_flag("--all", args->all, "Every category (the default)")->excludes(kind);
  cmd->add_option("--since", args->since, "Only records at or after this local time (2024-03-05[T14:09[:08[.042]]])");
  auto* until = cmd->add_option("--until", args->until, "Only records at or before this local time");
  cmd->add_flag("--follow", args->follow, "Keep going as records arrive, until SIGINT or SIGTERM")->excludes(until);
  cmd->add_option("--cursor-file", args->cursor_file,
                  "Go on where the run with this cursor file stopped, and keep the place there");
  cmd->add_flag("--show-cursor", args->show_cursor, "Print where the run with --cursor-file stopped, and exit");
  cmd->add_option("--batch", args->batch, "Records handed over together; the cursor moves after each (default 1000)")
      ->check(CLI::Range(std::size_t{1}, std::size_t{1'000'000}));
}

bool MakeWalkOptions(const std::string& command, const SharedExportArgs& args, WalkOptions* options) {
  options->command = command;
  if (args.kinds.empty()) {
    options->kinds.assign(std::begin(kCategoryKinds), std::end(kCategoryKinds));
  }
  for (const std::string& text : args.kinds) {
    const auto kind = ParseKind(text);
    if (!kind) {
      std::cerr << command << ": unknown kind '" << text
                << "' (a number, or pc-scan, firewall, anti-keylogger, secure-browser, pellora, etc)\n";
      return false;
    }
    if (std::find(options->kinds.begin(), options->kinds.end(), *kind) == options->kinds.end())
      options->kinds.push_back(*kind);
  }
  auto time_arg = [&](const std::string& name, const std::string& text, std::optional<std::int64_t>* out) {
    if (text.empty()) return true;
    *out = ParseLocalTimeArg(text);
    if (!*out) std::cerr << command << ": " << name << " '" << text << "' is not a local time such as 2024-03-05T14:09\n";
    return out->has_value();
  };
  if (!time_arg("--since", args.since, &options->since) || !time_arg("--until", args.until, &options->until))
    return false;
  if (options->since && options->until && *options->since > *options->until) {
    std::cerr << command << ": --since " << args.since << " is after --until " << args.until << "\n";
    return false;
  }
  options->follow = args.follow;
  options->cursor_path = args.cursor_file;
  options->batch_size = args.batch;
  options->host = platform::LocalHostName();
  return true;
}

ExitCode ShowCursor(const std::string& command, const std::string& path) {
  if (path.empty()) {
    std::cerr << command << ": --show-cursor needs --cursor-file\n";
    return ExitCode::kUsage;
  }
  Cursor cursor;
  std::string why;
  switch (LoadCursor(path, &cursor, &why)) {
    case CursorLoad::kLoaded:
      std::cout << DescribeCursor(cursor);
      return ExitCode::kSuccess;
    case CursorLoad::kMissing:
      std::cerr << command << ": no cursor file " << path << " yet (no run has used it)\n";
      return ExitCode::kNegative;
    case CursorLoad::kUnreadable:
      std::cerr << command << ": cannot read the cursor file " << path << ": " << why << "\n";
      return ExitCode::kUsage;
    case CursorLoad::kMalformed:
      break;
  }
  std::cerr << command << ": the cursor file " << path << " is not usable: " << why << "\n";
  return ExitCode::kUsage;
}

}  // namespace qorlog::cli
