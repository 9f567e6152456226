// qorlog prune --kind K | --all: prunes the log folder of a kind (or of every
// category) through the library and reports the files that went.
#include <algorithm>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "api/qorlog.h"
#include "cli/commands.h"
#include "cli/status_text.h"
#include "logstore/log_util.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace qorlog::cli {

namespace {

// The "*.log" names of a folder, sorted.
std::vector<std::u16string> LogNames(const platform::PathBuffer& folder) {
  platform::PathBuffer pattern(folder.view());
  pattern.AppendPart(u"*.log");
  std::vector<platform::FindData> entries;
  std::vector<std::u16string> names;
  if (platform::FindFiles(pattern.view(), &entries) == 0) {
    for (const auto& e : entries) {
      if (!e.is_directory) names.push_back(e.name);
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Prunes one kind; false on an error other than a missing folder.
bool PruneKind(DWORD kind) {
  CLogUtil util;
  const platform::PathBuffer folder = util.GetLogFolder(kind);
  const std::string category = platform::Utf16ToUtf8(CLogUtil::GetCategoryName(kind));
  const auto before = LogNames(folder);
  const DWORD status = QORLOG_ReduceLog(kind);
  if (status == QORLOG_STATUS_PATH_NOT_FOUND) {
    std::cout << category << ": no log folder\n";
    return true;
  }
  if (status != 0) {
    std::cerr << "qorlog prune: " << category << ": " << StatusText(status) << " (" << status << ")\n";
    return false;
  }
  const auto after = LogNames(folder);
  std::vector<std::u16string> gone;
  std::set_difference(before.begin(), before.end(), after.begin(), after.end(), std::back_inserter(gone));
  std::cout << category << ": " << gone.size() << " file" << (gone.size() == 1 ? "" : "s") << " deleted, "
            << after.size() << " left\n";
  for (const auto& name : gone) std::cout << "  deleted " << platform::Utf16ToUtf8(name) << "\n";
  return true;
}

}  // namespace

void AddPruneCommand(CLI::App& app, Outcome& outcome) {
  auto* cmd = app.add_subcommand("prune", "Delete the oldest log files beyond 90 files or 9 MiB");
  auto kind = std::make_shared<std::string>();
  auto all = std::make_shared<bool>(false);
  auto* kind_opt = cmd->add_option("--kind", *kind, "Kind id or category name");
  auto* all_opt = cmd->add_flag("--all", *all, "Every category");
  kind_opt->excludes(all_opt);
  cmd->callback([&outcome, kind, all] {
    std::vector<DWORD> kinds;
    if (*all) {
      kinds = {QORLOG_KIND_PCSCAN, QORLOG_KIND_FIREWALL, QORLOG_KIND_ANTIKEYLOGGER, QORLOG_KIND_SECUREBROWSER,
               QORLOG_KIND_PELLORA, 0};
    } else {
      DWORD k = 0;
      if (!ParseKind(*kind, &k)) {
        std::cerr << "qorlog prune: give --kind K or --all\n";
        outcome.exit_code = 2;
        return;
      }
      kinds.push_back(k);
    }
    bool ok = true;
    for (DWORD k : kinds) ok = PruneKind(k) && ok;
    outcome.exit_code = ok ? 0 : 1;
  });
}

QORLOG_CLI_COMMAND(AddPruneCommand);

}  // namespace qorlog::cli
