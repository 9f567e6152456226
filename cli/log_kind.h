// The one way the qorlog program reads a log kind on its command line, for
// every command: a number (1000, 5000, ...) or a category name ("pc scan",
// "firewall", "anti keylogger", "secure browser", "pellora i", "etc"), where
// blanks, dashes, underscores and case do not matter and "pellora" is short
// for "pellora i" and "fw" for "firewall". "etc" stands for kind 1005, the first kind without a
// category of its own, so its files are read as simple records.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "api/qorlog.h"

namespace qorlog::cli {

inline constexpr DWORD kEtcKind = 1005;

// One kind per category folder, in the order the commands list them.
inline constexpr DWORD kCategoryKinds[] = {QORLOG_KIND_PCSCAN,        QORLOG_KIND_FIREWALL, QORLOG_KIND_ANTIKEYLOGGER,
                                           QORLOG_KIND_SECUREBROWSER, QORLOG_KIND_PELLORA,  kEtcKind};

std::optional<DWORD> ParseKind(std::string_view text);

// The category folder name of a kind as the library names it ("pc scan",
// ..., "etc" for every other kind).
std::string_view CategoryName(DWORD kind);

// The kind whose category folder is the parent folder of `file`; none for
// "etc" (its files may hold any kind) or any other folder.
std::optional<DWORD> KindOfFolder(const std::string& file);

// Adds `name` (e.g. "--kind") to `cmd`, taking a kind as above into *kind;
// a text that is no kind is a usage error that lists the names.
CLI::Option* AddKindOption(CLI::App* cmd, const std::string& name, std::optional<DWORD>* kind,
                           const std::string& description);

}  // namespace qorlog::cli
