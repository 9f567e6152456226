// The statuses of the library's exports in words, for the program's messages.
#pragma once

#include <string>

#include "api/qorlog.h"

namespace qorlog::cli {

// "success", "null record", ... and "system error N" for other codes.
std::string StatusText(DWORD status);

// A kind given by number (1001) or by category name ("firewall"; "etc" is
// kind 0). False when `text` is neither.
bool ParseKind(const std::string& text, DWORD* kind);

}  // namespace qorlog::cli
