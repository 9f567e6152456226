// How the qorlog program names log kinds on its command line: a number
// (1000, 5000, ...) or a category name ("pc-scan", "firewall",
// "anti-keylogger", "secure-browser", "pellora", "etc"; spaces, dashes and
// case do not matter). "etc" stands for kind 1005, the first kind without a
// category of its own, so its files are read as simple records.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "api/qorlog.h"

namespace qorlog::cli {

inline constexpr DWORD kEtcKind = 1005;

std::optional<DWORD> ParseKind(const std::string& text);
// One kind per category folder, in the order they are listed.
std::vector<DWORD> AllCategoryKinds();
// The kind whose category folder is the parent folder of `file`; none for
// "etc" (its files may hold any kind) or an unknown folder.
std::optional<DWORD> KindOfFolder(const std::string& file);

}  // namespace qorlog::cli
