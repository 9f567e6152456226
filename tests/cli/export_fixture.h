// Shared by the export, forward and live command tests: log files put
// straight into the category folders with the test's log-file builder, JSON
// lines parsed, and the program running in the background with its output in
// files.
#pragma once

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/cli_runner.h"
#include "tests/logstore/log_file_builder.h"
#include "tests/support/temp_env.h"

namespace qorlog::testing {

using Clock = std::chrono::steady_clock;

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

// Polls `condition` until it holds or a generous limit passes; the limit only
// keeps a broken build from hanging, no result depends on it.
template <typename F>
bool WaitFor(F condition, int seconds = 20) {
  for (auto start = Clock::now(); Clock::now() - start < std::chrono::seconds(seconds);) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

class LogFolders {
 public:
  // Writes a file of `records` (bytes of RecordBytes) with a matching header.
  std::filesystem::path Put(const std::string& category, const std::string& name,
                            const std::vector<std::string>& records) const {
    const auto path = env_.CategoryFolder(category) / name;
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
  const IsolatedEnv& env() const { return env_; }

 private:
  IsolatedEnv env_;
};

// `qorlog args...` in the background, output captured in files.
class Background {
 public:
  explicit Background(const std::vector<std::string>& args, const std::string& tag = "0") {
    out_ = dir_.path() / ("out" + tag);
    err_ = dir_.path() / ("err" + tag);
    pid_ = SpawnCli(args, out_.string(), err_.string());
  }
  ~Background() { Stop(SIGKILL); }
  // Sends `sig` and returns the exit status (128 + signal when killed).
  int Stop(int sig = SIGTERM) {
    if (pid_ <= 0) return -1;
    kill(pid_, sig);
    return Wait();
  }
  int Wait() {
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  std::string out() const { return ReadFile(out_); }
  std::string err() const { return ReadFile(err_); }
  std::size_t LineCount() const {
    const std::string text = out();
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
  }
  // The lines of the output once it holds `count` (or what there is when
  // WaitFor gives up).
  std::vector<std::string> Lines(std::size_t count) const {
    WaitFor([&] { return LineCount() >= count; });
    std::vector<std::string> lines;
    std::istringstream in(out());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

 private:
  TempDir dir_;
  std::filesystem::path out_, err_;
  pid_t pid_ = -1;
};

}  // namespace qorlog::testing
