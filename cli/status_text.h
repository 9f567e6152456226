// The statuses of the library's exports in words, for the program's messages.
#pragma once

#include <string>

#include "api/qorlog.h"

namespace qorlog::cli {

// "file not found", "access denied", ... and "system error N" for other codes.
std::string StatusText(DWORD status);

}  // namespace qorlog::cli
