// qorlog paths: where this machine keeps its logs.
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "api/qorlog.h"
#include "cli/commands.h"
#include "logstore/log_util.h"
#include "platform/fs.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace qorlog::cli {

namespace {

constexpr DWORD kKinds[] = {QORLOG_KIND_PCSCAN, QORLOG_KIND_FIREWALL, QORLOG_KIND_ANTIKEYLOGGER,
                            QORLOG_KIND_SECUREBROWSER, QORLOG_KIND_PELLORA, 0};

std::string Narrow(std::u16string_view s) { return platform::Utf16ToUtf8(s); }

int RunPaths(bool json) {
  char16_t buffer[platform::kMaxPath] = {};
  const DWORD status = QORLOG_GetProgramFilesPath(buffer, platform::kMaxPath);
  CLogUtil util;
  std::string registry = platform::RegistryFilePath();
  const bool registry_present = platform::PathExists(platform::Utf8ToUtf16(registry));
  const std::string program_files = Narrow(buffer);
  platform::PathBuffer common(buffer);
  common.AppendPart(kCommonLogSubfolder);

  if (json) {
    nlohmann::ordered_json out;
    out["registry"] = registry;
    out["registry_present"] = registry_present;
    out["program_files"] = program_files;
    out["program_files_status"] = status;
    out["common_log_folder"] = Narrow(common.view());
    nlohmann::ordered_json categories = nlohmann::ordered_json::object();
    for (DWORD kind : kKinds) {
      nlohmann::ordered_json entry;
      entry["kind"] = kind;
      entry["folder"] = Narrow(util.GetLogFolder(kind).view());
      categories[Narrow(CLogUtil::GetCategoryName(kind))] = entry;
    }
    out["categories"] = categories;
    out["update_folder"] = Narrow(util.GetUpdateFolder());
    std::cout << out.dump(2) << "\n";
  } else {
    std::cout << "registry file:      " << registry
              << (registry_present ? "" : "  (not present: built-in defaults answer)") << "\n"
              << "program files:      " << program_files;
    if (status != 0) std::cout << "  (registry error " << status << ")";
    std::cout << "\ncommon log folder:  " << Narrow(common.view()) << "\n";
    for (DWORD kind : kKinds) {
      std::string label = Narrow(CLogUtil::GetCategoryName(kind));
      label += kind == 0 ? " (other kinds)" : " (" + std::to_string(kind) + ")";
      std::cout << "  " << label << std::string(label.size() < 24 ? 24 - label.size() : 1, ' ')
                << Narrow(util.GetLogFolder(kind).view()) << "\n";
    }
    std::cout << "update folder:      " << Narrow(util.GetUpdateFolder()) << "\n";
  }
  return status == 0 ? 0 : 1;
}

}  // namespace

void AddPathsCommand(CLI::App& app, Outcome& outcome) {
  auto* cmd = app.add_subcommand("paths", "Show the registry file, the log folders and the update folder");
  auto json = std::make_shared<bool>(false);
  cmd->add_flag("--json", *json, "Print one JSON object");
  cmd->callback([&outcome, json] { outcome.exit_code = RunPaths(*json); });
}

QORLOG_CLI_COMMAND(AddPathsCommand);

}  // namespace qorlog::cli
