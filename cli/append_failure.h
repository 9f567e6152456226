// Why an append failed. The library answers every failure to choose or
// write the current file with one status (1627); the program then looks at
// the log folder to tell the person which cause it was.
#pragma once

#include <string>

#include "api/qorlog.h"
#include "cli/log_locations.h"

namespace qorlog::cli {

// The cause found for kind `kind`, e.g. "access denied: cannot create files
// in /x/firewall", "/x/firewall is a file, where the log folder should be",
// or "the day's 100 log files are used up (2025010100.log to
// 2025010199.log)". Leaves nothing behind in the folder.
std::string DiagnoseAppendFailure(const LogLocations& where, DWORD kind);

}  // namespace qorlog::cli
