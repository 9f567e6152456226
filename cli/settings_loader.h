// Loading a protected settings file for the program, with a reason a person
// can act on when it fails (missing, unreadable, not protected, damaged, not
// under this suite's key). Shared by "qorlog settings" and "qorlog policy".
#pragma once

#include <string>

#include "settings/secure_ini_document.h"

namespace qorlog::cli {

// Loads `path` (UTF-8) into `doc`. Empty on success, else why it failed.
std::string LoadSettingsFile(const std::string& path, CSecureIniDocument* doc);

// "hex", "container" or "none".
const char* SettingsFormatName(DWORD format);

}  // namespace qorlog::cli
