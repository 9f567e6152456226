// Loading a protected settings file for the program, with a reason a person
// can act on when it fails (missing, unreadable, not protected, damaged, not
// under this suite's key). Shared by "qorlog settings" and "qorlog policy".
#pragma once

#include <string>

#include "cli/exit_codes.h"
#include "settings/secure_ini_document.h"

namespace qorlog::cli {

struct SettingsLoad {
  ExitCode code = ExitCode::kSuccess;  // kUsage: not there; kDamaged: not a good file; kFailed: not readable
  std::string why;                     // empty on success
};

// Loads `path` (UTF-8) into `doc`.
SettingsLoad LoadSettingsFile(const std::string& path, CSecureIniDocument* doc);

// "hex", "container" or "none".
const char* SettingsFormatName(DWORD format);

}  // namespace qorlog::cli
