// qorlog prune --kind K | --all [--damaged]: prunes the log folder of a kind
// (or of every category) through the library and reports the files that
// went. With --damaged it also deletes the files that a writer set aside as
// damaged, which the library's pruning leaves alone.
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "cli/commands.h"
#include "cli/log_folder.h"
#include "cli/log_kind.h"
#include "cli/log_locations.h"
#include "cli/status_text.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace qorlog::cli {

namespace {

std::vector<std::string> Names(const std::vector<LogFolderEntry>& entries) {
  std::vector<std::string> names;
  for (const auto& e : entries) names.push_back(std::filesystem::path(e.path).filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string Files(std::size_t n) { return std::to_string(n) + (n == 1 ? " file" : " files"); }

ExitCode DeleteSetAside(const std::string& folder, const std::string& category) {
  ExitCode result = ExitCode::kSuccess;
  for (const LogFolderEntry& aside : ListSetAsideFiles(folder)) {
    const std::string name = std::filesystem::path(aside.path).filename().string();
    const std::u16string wide = platform::Utf8ToUtf16(aside.path);
    platform::SetAttributesNormal(wide);
    if (DWORD error = platform::DeleteFileNamed(wide); error != 0) {
      result = Fail(ExitCode::kFailed, category + ": cannot delete " + name + ": " + StatusText(error));
    } else {
      std::cout << "  deleted " << name << " (set aside as damaged)\n";
    }
  }
  return result;
}

ExitCode PruneKind(const LogLocations& where, DWORD kind, bool damaged) {
  const std::string category(CategoryName(kind));
  const auto before = Names(ListLogFiles(kind));
  const DWORD status = QORLOG_ReduceLog(kind);
  if (status == QORLOG_STATUS_PATH_NOT_FOUND) {
    std::cout << category << ": no log folder\n";
    return ExitCode::kSuccess;
  }
  if (status != 0) return Fail(ExitCode::kFailed, "prune " + category + ": " + StatusText(status));
  const auto after = Names(ListLogFiles(kind));
  std::vector<std::string> gone;
  std::set_difference(before.begin(), before.end(), after.begin(), after.end(), std::back_inserter(gone));
  std::cout << category << ": " << Files(gone.size()) << " deleted, " << after.size() << " left\n";
  for (const auto& name : gone) std::cout << "  deleted " << name << "\n";
  return damaged ? DeleteSetAside(where.CategoryFolder(kind), category) : ExitCode::kSuccess;
}

}  // namespace

void AddPruneCommand(CLI::App& app, Outcome& outcome) {
  auto* cmd = app.add_subcommand(
      "prune", "Delete the oldest log files beyond 90 files or 9 MiB (once 100 files or 10 MiB are reached)");
  auto kind = std::make_shared<std::optional<DWORD>>();
  auto damaged = std::make_shared<bool>(false);
  auto* kind_opt = AddKindOption(cmd, "--kind", kind.get(), "Kind number or category name (pc-scan, ..., etc)");
  auto* all_opt = cmd->add_flag("--all")->description("Every category");
  kind_opt->excludes(all_opt);
  cmd->add_flag("--damaged", *damaged, "Also delete the files set aside as damaged");
  cmd->callback([&outcome, kind, damaged, all_opt] {
    if (!*kind && all_opt->count() == 0) {
      outcome.exit_code = Fail(ExitCode::kUsage, "prune needs --kind K or --all");
      return;
    }
    const LogLocations where = FindLogLocationsOrReport();
    if (where.status != 0) {
      outcome.exit_code = ExitCode::kFailed;
      return;
    }
    std::vector<DWORD> kinds(std::begin(kCategoryKinds), std::end(kCategoryKinds));
    if (*kind) kinds = {**kind};
    ExitCode result = ExitCode::kSuccess;
    for (DWORD k : kinds) result = std::max(result, PruneKind(where, k, *damaged));
    outcome.exit_code = result;
  });
}

}  // namespace qorlog::cli
