// Runs the qorlog program as a child process, its output captured in files:
// once to its end (RunCli), or in the background until the test stops it
// (Background). The same on every system; the child gets the current
// environment, which tests point at temporary folders first. Also the log
// folders where the program looks (LogFolders), filled with the log-file
// builder, and its JSON lines parsed.
//
// Output is read as text: on Windows the C runtime ends lines with "\r\n",
// as Windows users expect in a console and a text file; the runner reads
// them as "\n", so the tests and the golden files are the same on both
// systems.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "api/qorlog.h"
#include "tests/logstore/log_file_builder.h"
#include "tests/support/temp_env.h"

namespace qorlog::testing {

struct CliResult {
  int exit_code = -1;
  std::string out;
  std::string err;
};

// Runs `qorlog args...` with standard input empty.
CliResult RunCli(const std::vector<std::string>& args);

// A file the program wrote, with Windows line ends read as "\n".
std::string ReadOutput(const std::filesystem::path& path);

// Polls `condition` until it holds or a generous limit passes; the limit only
// keeps a broken build from hanging, no result depends on it.
template <typename F>
bool WaitFor(F condition, int seconds = 20) {
  for (auto start = std::chrono::steady_clock::now();
       std::chrono::steady_clock::now() - start < std::chrono::seconds(seconds);) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// `qorlog args...` (or another program) in the background, standard input
// empty, standard output and error in files. The destructor kills what still
// runs.
class Background {
 public:
  explicit Background(const std::vector<std::string>& args) : Background(QORLOG_CLI_FILE, args) {}
  Background(const std::string& program, const std::vector<std::string>& args);
  ~Background() { Kill(); }
  Background(const Background&) = delete;
  Background& operator=(const Background&) = delete;

  // Asks the program to end (platform::AskToEnd: SIGTERM on Linux, WM_CLOSE
  // to its window on Windows) and returns its exit status. A program that
  // cannot be asked (on Windows, one without a window) is killed, and
  // asked() says false.
  int Stop();
  // Ends the program as a crash would and returns its exit status.
  int Kill();
  // Waits for the program's end and returns its exit status.
  int Wait();
  bool asked() const { return asked_; }

  std::string out() const { return ReadOutput(out_); }
  std::string err() const { return ReadOutput(err_); }
  std::size_t LineCount() const;
  // The lines of the output once it holds `count` (or what there is when
  // WaitFor gives up).
  std::vector<std::string> Lines(std::size_t count) const;

 private:
  // The program's id once it runs; 0 when it ended or could not start.
  DWORD Id() const;

  TempDir dir_;
  std::filesystem::path out_ = dir_.path() / "out", err_ = dir_.path() / "err";
  std::atomic<DWORD> pid_{0};
  std::atomic<bool> ended_{false};
  int exit_code_ = -1;
  bool asked_ = true;
  std::thread waiter_;
};

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
  // Writes a file of `bytes`, making its folder.
  std::filesystem::path PutBytes(const std::string& category, const std::string& name, const std::string& bytes) const {
    const auto path = scope_.CategoryFolder(category) / name;
    std::filesystem::create_directories(path.parent_path());
    WriteFile(path, bytes);
    return path;
  }
  // Writes a file of `records` (bytes of RecordBytes) with a matching header.
  std::filesystem::path Put(const std::string& category, const std::string& name,
                            const std::vector<std::string>& records) const {
    std::string bytes = HeaderBytes(static_cast<DWORD>(records.size()));
    for (const auto& r : records) bytes += r;
    return PutBytes(category, name, bytes);
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
