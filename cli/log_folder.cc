#include "cli/log_folder.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/text.h"

namespace qorlog::cli {

namespace fs = std::filesystem;

namespace {

LogFolderEntry Describe(const fs::path& path) {
  LogFolderEntry entry;
  entry.path = path.string();
  std::error_code ec;
  entry.is_folder = fs::is_directory(path, ec);
  if (!entry.is_folder) {
    const auto size = fs::file_size(path, ec);
    entry.size = ec ? 0 : size;
  }
  return entry;
}

bool AllDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::vector<LogFolderEntry> ListLogFiles(DWORD kind) {
  stLOG_FILE_ITEM* files = nullptr;
  const DWORD count = QORLOG_GetLogFileCnt(kind, &files);
  std::vector<LogFolderEntry> entries;
  for (DWORD i = 0; files != nullptr && i < count; ++i) {
    entries.push_back(Describe(platform::Utf16ToUtf8(files[i].szPath)));
  }
  if (files != nullptr) QORLOG_FreeLogHeader(reinterpret_cast<stLOG_HEADER*>(files));
  return entries;
}

bool IsSetAsideName(std::string_view name) {
  constexpr std::string_view kLog = ".log";
  constexpr std::string_view kDamaged = ".damaged";
  const std::size_t dot = name.find('.');
  if (dot == std::string_view::npos || !AllDigits(name.substr(0, dot))) return false;
  std::string_view rest = name.substr(dot);
  if (rest.substr(0, kLog.size()) != kLog || rest.size() < kLog.size() + kDamaged.size() ||
      rest.substr(rest.size() - kDamaged.size()) != kDamaged) {
    return false;
  }
  // Between them: nothing, or "." and the number of an earlier set-aside copy.
  const std::string_view middle = rest.substr(kLog.size(), rest.size() - kLog.size() - kDamaged.size());
  return middle.empty() || (middle.front() == '.' && AllDigits(middle.substr(1)));
}

std::vector<LogFolderEntry> ListSetAsideFiles(const std::string& folder) {
  std::vector<LogFolderEntry> entries;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (IsSetAsideName(it->path().filename().string())) entries.push_back(Describe(it->path()));
  }
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.path < b.path; });
  return entries;
}

}  // namespace qorlog::cli
