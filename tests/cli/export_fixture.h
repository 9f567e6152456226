// Shared by the export, forward and live command tests: log files put
// straight into the category folders with the test's log-file builder, and
// JSON lines parsed.
#pragma once

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tests/cli/cli_runner.h"
#include "tests/logstore/log_file_builder.h"
#include "tests/support/temp_env.h"

namespace qorlog::testing {

// Complete JSON lines; a last line cut off by a killed writer is left out.
inline std::vector<nlohmann::json> JsonLines(const std::string& text) {
  std::vector<nlohmann::json> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (in.eof() && !text.empty() && text.back() != '\n') break;
    out.push_back(nlohmann::json::parse(line));
  }
  return out;
}

// The log folders where the library looks (ProgramFilesScope: on Windows
// the machine's; tests skip unless scope().usable()).
class LogFolders {
 public:
  // Writes a file of `records` (bytes of RecordBytes) with a matching header.
  std::filesystem::path Put(const std::string& category, const std::string& name,
                            const std::vector<std::string>& records) const {
    const auto path = scope_.CategoryFolder(category) / name;
    std::filesystem::create_directories(path.parent_path());
    std::string bytes = HeaderBytes(static_cast<DWORD>(records.size()));
    for (const auto& r : records) bytes += r;
    WriteFile(path, bytes);
    return path;
  }
  // Appends records the way a writer does: the bytes after the end, in place.
  void Append(const std::filesystem::path& path, const std::vector<std::string>& records) const {
    std::ofstream out(path, std::ios::binary | std::ios::app);
    for (const auto& r : records) out << r;
  }
  std::filesystem::path CategoryFolder(const std::string& category) const { return scope_.CategoryFolder(category); }
  const IsolatedEnv& env() const { return env_; }
  const ProgramFilesScope& scope() const { return scope_; }

 private:
  IsolatedEnv env_;
  ProgramFilesScope scope_{env_};
};

}  // namespace qorlog::testing
