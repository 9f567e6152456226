// Where the suite keeps its logs, as the program shows and checks them: the
// Program Files folder comes from the library (QORLOG_GetProgramFilesPath);
// the folders below it follow the library's fixed layout (the subfolder
// constants of logstore/log_util.h and the category names of log_kind.h).
// The command tests compare these paths with the folders the library itself
// writes to.
#pragma once

#include <string>

#include "api/qorlog.h"

namespace qorlog::cli {

struct LogLocations {
  DWORD status = 0;            // of QORLOG_GetProgramFilesPath: 0, or a registry error
  std::string program_files;   // UTF-8; empty when status is not 0

  std::string CommonLogFolder() const;
  std::string CategoryFolder(DWORD kind) const;
  std::string UpdateFolder() const;
};

// Asks the library for the Program Files folder.
LogLocations FindLogLocations();

// Why the registry gave no Program Files folder, naming the registry file,
// e.g. "the registry file /etc/qorlog/registry.ini gives no Program Files
// folder (error 2: the key is missing)".
std::string RegistryErrorText(DWORD status);

// FindLogLocations, reporting a registry error as a failure on standard
// error (the caller then returns ExitCode::kFailed). Empty program_files when
// that happened.
LogLocations FindLogLocationsOrReport();

}  // namespace qorlog::cli
