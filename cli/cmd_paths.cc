// qorlog paths: where this machine keeps its logs. Exit status 4 when the
// registry gives no Program Files folder (the folders are then not shown).
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/commands.h"
#include "cli/log_kind.h"
#include "cli/log_locations.h"
#include "platform/registry.h"

namespace qorlog::cli {

namespace {

ExitCode RunPaths(bool json) {
  const std::string registry = platform::RegistryFilePath();
  const bool registry_present = platform::RegistryPresent();
  const LogLocations where = FindLogLocationsOrReport();
  if (where.status != 0) return ExitCode::kFailed;

  if (json) {
    nlohmann::ordered_json out;
    out["registry"] = registry;
    out["registry_present"] = registry_present;
    out["program_files"] = where.program_files;
    out["common_log_folder"] = where.CommonLogFolder();
    nlohmann::ordered_json categories = nlohmann::ordered_json::object();
    for (DWORD kind : kCategoryKinds) {
      categories[std::string(CategoryName(kind))] = {{"kind", kind}, {"folder", where.CategoryFolder(kind)}};
    }
    out["categories"] = categories;
    out["update_folder"] = where.UpdateFolder();
    std::cout << out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    return ExitCode::kSuccess;
  }
  std::cout << "registry file:      " << registry
            << (registry_present ? "" : "  (not present: built-in defaults answer)") << "\n"
            << "program files:      " << where.program_files << "\n"
            << "common log folder:  " << where.CommonLogFolder() << "\n";
  for (DWORD kind : kCategoryKinds) {
    std::string label(CategoryName(kind));
    label += kind == kEtcKind ? " (other kinds)" : " (" + std::to_string(kind) + ")";
    std::cout << "  " << label << std::string(label.size() < 24 ? 24 - label.size() : 1, ' ')
              << where.CategoryFolder(kind) << "\n";
  }
  std::cout << "update folder:      " << where.UpdateFolder() << "\n";
  return ExitCode::kSuccess;
}

}  // namespace

void AddPathsCommand(CLI::App& app, Outcome& outcome) {
  auto* cmd = app.add_subcommand("paths", "Show the registry file, the log folders and the update folder");
  auto json = std::make_shared<bool>(false);
  cmd->add_flag("--json", *json, "Print one JSON object");
  cmd->callback([&outcome, json] { outcome.exit_code = RunPaths(*json); });
}

}  // namespace qorlog::cli
