// The files of a category folder as the program shows them: the list the
// library hands out (QORLOG_GetLogFileCnt: every "*.log" name, folders
// included, oldest first; its index is what `show --file N` takes) and the
// files that a writer set aside as damaged ("<name>.log.damaged",
// "<name>.log.1.damaged", ...), which the library neither lists nor prunes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "api/qorlog.h"

namespace qorlog::cli {

struct LogFolderEntry {
  std::string path;  // UTF-8
  bool is_folder = false;
  std::uint64_t size = 0;
};

// The library's list for `kind`, in its order.
std::vector<LogFolderEntry> ListLogFiles(DWORD kind);

// The files set aside as damaged in `folder`, sorted by name; none when the
// folder cannot be read.
std::vector<LogFolderEntry> ListSetAsideFiles(const std::string& folder);

// "<digits>.log" followed by ".damaged" or ".<n>.damaged".
bool IsSetAsideName(std::string_view name);

}  // namespace qorlog::cli
