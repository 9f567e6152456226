#include "tests/cli/cli_runner.h"

#include <algorithm>
#include <sstream>

#include "platform/process.h"

namespace qorlog::testing {

std::string ReadOutput(const std::filesystem::path& path) {
  std::string text = ReadFile(path);
#ifdef _WIN32
  std::size_t kept = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) text[kept++] = text[i];
  }
  text.resize(kept);
#endif
  return text;
}

CliResult RunCli(const std::vector<std::string>& args) {
  TempDir capture;
  const platform::OutputFiles files = {(capture.path() / "out").string(), (capture.path() / "err").string()};
  std::vector<std::string> argv = {QORLOG_CLI_FILE};
  argv.insert(argv.end(), args.begin(), args.end());
  CliResult result;
  DWORD code = 0;
  if (platform::StartAndWait(argv, files, &code) == 0) result.exit_code = static_cast<int>(code);
  result.out = ReadOutput(files.output);
  result.err = ReadOutput(files.error);
  return result;
}

Background::Background(const std::string& program, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {program};
  argv.insert(argv.end(), args.begin(), args.end());
  waiter_ = std::thread([this, argv] {
    DWORD code = 0;
    if (platform::StartAndWait(argv, {out_.string(), err_.string()}, &code,
                               [this](DWORD id) { pid_ = id; }) == 0) {
      exit_code_ = static_cast<int>(code);
    }
    ended_ = true;
  });
}

DWORD Background::Id() const {
  WaitFor([&] { return pid_ != 0 || ended_; });
  return ended_ ? 0 : pid_.load();
}

int Background::Stop() {
  if (const DWORD id = Id(); id != 0 && !platform::AskToEnd(id)) {
    asked_ = false;
    platform::KillProcess(id);
  }
  return Wait();
}

int Background::Kill() {
  if (const DWORD id = Id(); id != 0) platform::KillProcess(id);
  return Wait();
}

int Background::Wait() {
  if (waiter_.joinable()) waiter_.join();
  return exit_code_;
}

std::size_t Background::LineCount() const {
  const std::string text = out();
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

std::vector<std::string> Background::Lines(std::size_t count) const {
  WaitFor([&] { return LineCount() >= count; });
  std::vector<std::string> lines;
  std::istringstream in(out());
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace qorlog::testing
