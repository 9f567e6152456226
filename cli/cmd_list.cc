// qorlog list: the log files of one or every category, oldest first, with
// their size and the record count their header gives.
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <system_error>
#include <vector>

#include "api/qorlog.h"
#include "cli/commands.h"
#include "cli/log_kind_arg.h"
#include "logstore/log_util.h"
#include "platform/text.h"

namespace qorlog::cli {

namespace {

struct FileRow {
  std::size_t index = 0;
  std::string path;
  std::uintmax_t size = 0;
  bool readable = false;  // a file whose header could be read
  stLOG_HEADER header = {};
};

FileRow Describe(std::size_t index, const stLOG_FILE_ITEM& item) {
  FileRow row;
  row.index = index;
  row.path = platform::Utf16ToUtf8(item.szPath);
  std::error_code ec;
  const auto size = std::filesystem::file_size(row.path, ec);
  row.size = ec ? 0 : size;
  void* log = nullptr;
  if (QORLOG_OpenLogFile(item.szPath, &log) == 0) {
    stLOG_HEADER* header = nullptr;
    if (QORLOG_GetLogItemCnt(log, &header) == 0 && header != nullptr) {
      row.header = *header;
      row.readable = true;
      QORLOG_FreeLogHeader(header);
    }
  }
  QORLOG_CloseLog(log);
  return row;
}

bool HeaderValid(const FileRow& row) {
  return row.readable && row.size >= 12 && row.header.dwCheck == row.header.dwVersion + row.header.dwItemCount;
}

int RunList(const std::string& kind_text, bool json) {
  std::vector<DWORD> kinds;
  if (kind_text.empty()) {
    kinds = AllCategoryKinds();
  } else if (auto kind = ParseKind(kind_text)) {
    kinds.push_back(*kind);
  } else {
    std::cerr << "qorlog list: unknown kind '" << kind_text << "'\n";
    return 1;
  }

  CLogUtil util;
  for (DWORD kind : kinds) {
    stLOG_FILE_ITEM* files = nullptr;
    const DWORD count = QORLOG_GetLogFileCnt(kind, &files);
    std::vector<FileRow> rows;
    for (DWORD i = 0; i < count; ++i) rows.push_back(Describe(i, files[i]));
    if (files != nullptr) QORLOG_FreeLogHeader(reinterpret_cast<stLOG_HEADER*>(files));

    const std::string category = platform::Utf16ToUtf8(CLogUtil::GetCategoryName(kind));
    if (json) {
      for (const FileRow& row : rows) {
        nlohmann::ordered_json j;
        j["kind"] = kind;
        j["category"] = category;
        j["index"] = row.index;
        j["path"] = row.path;
        j["size"] = row.size;
        j["header_count"] = row.readable ? nlohmann::ordered_json(row.header.dwItemCount) : nullptr;
        j["header_valid"] = HeaderValid(row);
        std::cout << j.dump() << "\n";
      }
      continue;
    }
    std::cout << category << " (" << kind << "): " << platform::Utf16ToUtf8(util.GetLogFolder(kind).view()) << "\n";
    if (rows.empty()) {
      std::cout << "  (no log files)\n";
      continue;
    }
    std::size_t name_width = 4;
    for (const FileRow& row : rows) {
      name_width = std::max(name_width, std::filesystem::path(row.path).filename().string().size());
    }
    auto pad = [](std::string s, std::size_t w) { return s.size() < w ? s + std::string(w - s.size(), ' ') : s; };
    std::cout << "  " << pad("#", 4) << pad("FILE", name_width + 2) << pad("SIZE", 10) << "RECORDS\n";
    for (const FileRow& row : rows) {
      std::string records;
      if (!row.readable) {
        records = "- (unreadable)";
      } else if (!HeaderValid(row)) {
        records = std::to_string(row.header.dwItemCount) + " (damaged header)";
      } else {
        records = std::to_string(row.header.dwItemCount);
      }
      std::cout << "  " << pad(std::to_string(row.index), 4)
                << pad(std::filesystem::path(row.path).filename().string(), name_width + 2)
                << pad(std::to_string(row.size), 10) << records << "\n";
    }
  }
  return 0;
}

}  // namespace

void AddListCommand(CLI::App& app, Outcome& outcome) {
  auto* cmd = app.add_subcommand("list", "List the log files of a category (all categories by default), oldest first");
  auto kind = std::make_shared<std::string>();
  auto all = std::make_shared<bool>(false);
  auto json = std::make_shared<bool>(false);
  auto* kind_opt = cmd->add_option("--kind", *kind, "Kind number or category name (pc-scan, firewall, ..., etc)");
  cmd->add_flag("--all", *all, "Every category (the default)")->excludes(kind_opt);
  cmd->add_flag("--json", *json, "One JSON object per file");
  cmd->callback([&outcome, kind, json] { outcome.exit_code = RunList(*kind, *json); });
}

QORLOG_CLI_COMMAND(AddListCommand);

}  // namespace qorlog::cli
