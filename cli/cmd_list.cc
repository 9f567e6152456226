// qorlog list: the log files of one or every category, oldest first, with
// their size and the record count their header gives, and the files that a
// writer set aside as damaged. Exit status 3 when a header is damaged or cut
// off or a set-aside file is there, 4 when a file cannot be opened.
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/log_file_read.h"
#include "cli/log_folder.h"
#include "cli/log_kind.h"
#include "cli/log_locations.h"
#include "cli/status_text.h"
#include "logstore/log_format.h"

namespace qorlog::cli {

namespace {

struct Row {
  std::optional<std::size_t> index;  // none for a set-aside file
  LogFolderEntry entry;
  std::optional<stLOG_HEADER> header;
  std::string state;  // "ok", or what is wrong with the file
  ExitCode code = ExitCode::kSuccess;
};

Row DescribeLogFile(std::size_t index, const LogFolderEntry& entry, DWORD kind) {
  Row row{index, entry, std::nullopt, "ok", ExitCode::kSuccess};
  if (entry.is_folder) {
    row.state = "a folder, not a log file";
    return row;
  }
  const LogFileRead read = ReadLogFile(entry.path, kind, false);
  row.header = read.header;
  if (read.open_status != 0) {
    row.state = "cannot open: " + StatusText(read.open_status);
    row.code = ExitCode::kFailed;
  } else if (!read.header || entry.size < kHeaderSize) {
    row.state = "header cut off";
    row.code = ExitCode::kDamaged;
  } else if (!read.HeaderValid()) {
    row.state = "damaged header";
    row.code = ExitCode::kDamaged;
  }
  return row;
}

std::string Pad(std::string s, std::size_t width) { return s.size() < width ? s + std::string(width - s.size(), ' ') : s; }

void PrintTable(const std::string& title, const std::vector<Row>& rows) {
  std::cout << title << "\n";
  if (rows.empty()) {
    std::cout << "  (no log files)\n";
    return;
  }
  std::size_t name_width = 4;
  for (const Row& row : rows) {
    name_width = std::max(name_width, std::filesystem::path(row.entry.path).filename().string().size());
  }
  std::cout << "  " << Pad("#", 4) << Pad("FILE", name_width + 2) << Pad("SIZE", 10) << "RECORDS\n";
  for (const Row& row : rows) {
    std::string records = row.header ? std::to_string(row.header->dwItemCount) : "-";
    if (row.state != "ok") records += " (" + row.state + ")";
    std::cout << "  " << Pad(row.index ? std::to_string(*row.index) : "-", 4)
              << Pad(std::filesystem::path(row.entry.path).filename().string(), name_width + 2)
              << Pad(row.entry.is_folder ? "-" : std::to_string(row.entry.size), 10) << records << "\n";
  }
}

void PrintJson(DWORD kind, const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    nlohmann::ordered_json j;
    j["kind"] = kind;
    j["category"] = CategoryName(kind);
    j["index"] = row.index ? nlohmann::ordered_json(*row.index) : nullptr;
    j["path"] = row.entry.path;
    j["size"] = row.entry.size;
    j["header_count"] = row.header ? nlohmann::ordered_json(row.header->dwItemCount) : nullptr;
    j["state"] = row.state;
    std::cout << j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
  }
}

ExitCode RunList(const std::optional<DWORD>& kind, bool json) {
  const LogLocations where = FindLogLocationsOrReport();
  if (where.status != 0) return ExitCode::kFailed;
  std::vector<DWORD> kinds(std::begin(kCategoryKinds), std::end(kCategoryKinds));
  if (kind) kinds = {*kind};

  ExitCode result = ExitCode::kSuccess;
  for (DWORD k : kinds) {
    std::vector<Row> rows;
    const auto files = ListLogFiles(k);
    for (std::size_t i = 0; i < files.size(); ++i) rows.push_back(DescribeLogFile(i, files[i], k));
    for (const LogFolderEntry& aside : ListSetAsideFiles(where.CategoryFolder(k))) {
      rows.push_back({std::nullopt, aside, std::nullopt, "set aside as damaged", ExitCode::kDamaged});
    }
    for (const Row& row : rows) result = std::max(result, row.code);
    if (json) {
      PrintJson(k, rows);
    } else {
      PrintTable(std::string(CategoryName(k)) + " (" + std::to_string(k) + "): " + where.CategoryFolder(k), rows);
    }
  }
  return result;
}

}  // namespace

void AddListCommand(CLI::App& app, Outcome& outcome) {
  auto* cmd = app.add_subcommand(
      "list", "List the log files of a category (every category by default), oldest first, with size and count");
  auto kind = std::make_shared<std::optional<DWORD>>();
  auto json = std::make_shared<bool>(false);
  auto* kind_opt = AddKindOption(cmd, "--kind", kind.get(), "Kind number or category name (pc-scan, ..., etc)");
  cmd->add_flag("--all")->description("Every category (the default)")->excludes(kind_opt);
  cmd->add_flag("--json", *json, "One JSON object per file");
  cmd->callback([&outcome, kind, json] { outcome.exit_code = RunList(*kind, *json); });
}

}  // namespace qorlog::cli
