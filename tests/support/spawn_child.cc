#include "tests/support/spawn_child.h"

#include <chrono>
#include <cstdlib>
#include <map>

#include "platform/process.h"

namespace qorlog::testing {

namespace {

constexpr auto kPoll = std::chrono::milliseconds(5);
// Only a guard against a hung test: no wait is expected to come near it.
constexpr auto kLongest = std::chrono::seconds(60);

std::map<std::string, ChildRole>& Roles() {
  static std::map<std::string, ChildRole> roles;
  return roles;
}

std::string g_self;

// Writes `text` to `name` in `folder` under a temporary name first, so the
// other side never reads a half-written file.
void Publish(const std::filesystem::path& folder, const std::string& name, const std::string& text) {
  WriteFile(folder / (name + ".part"), text);
  std::filesystem::rename(folder / (name + ".part"), folder / name);
}

}  // namespace

// Used by spawn_main.cc.
int RunChildRole(const std::string& role, const std::string& folder, const std::vector<std::string>& args);
void SetSelfPath(const std::string& path);

bool RegisterChildRole(const std::string& name, ChildRole role) {
  Roles()[name] = std::move(role);
  return true;
}

const std::string& SelfPath() { return g_self; }
void SetSelfPath(const std::string& path) { g_self = path; }

int RunChildRole(const std::string& role, const std::string& folder, const std::vector<std::string>& args) {
  const auto found = Roles().find(role);
  if (found == Roles().end()) return 97;
  Publish(folder, "pid", std::to_string(platform::GetCurrentProcessId()));  // for Kill()
  return found->second(args, ChildChannel(folder));
}

void ChildChannel::Ready(int result) const { Publish(folder_, "ready", std::to_string(result)); }

void ChildChannel::WaitForRelease() const {
  const auto until = std::chrono::steady_clock::now() + kLongest;
  while (!Released() && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(kPoll);
}

bool ChildChannel::Released() const {
  std::error_code ec;
  return std::filesystem::exists(folder_ / "release", ec) || !std::filesystem::exists(folder_, ec);
}

ChildProcess::ChildProcess(const std::string& role, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {g_self, "--child", role, folder_.str()};
  argv.insert(argv.end(), args.begin(), args.end());
  waiter_ = std::thread([this, argv] {
    DWORD code = 0;
    if (platform::StartAndWait(argv, platform::ShowMode::kHidden, &code) == 0) exit_code_ = static_cast<int>(code);
    Publish(folder_.path(), "ended", "");
  });
}

ChildProcess::~ChildProcess() { Release(); }

int ChildProcess::WaitReady() {
  const auto until = std::chrono::steady_clock::now() + kLongest;
  std::error_code ec;
  while (std::chrono::steady_clock::now() < until) {
    if (std::filesystem::exists(folder_.path() / "ready", ec)) return std::atoi(ReadFile(folder_.path() / "ready").c_str());
    if (std::filesystem::exists(folder_.path() / "ended", ec)) return -1;
    std::this_thread::sleep_for(kPoll);
  }
  return -1;
}

int ChildProcess::Release() {
  if (!ended_) {
    Publish(folder_.path(), "release", "");
    waiter_.join();
    ended_ = true;
  }
  return exit_code_;
}

int ChildProcess::Kill() {
  const auto until = std::chrono::steady_clock::now() + kLongest;
  const auto pid = folder_.path() / "pid", ended = folder_.path() / "ended";
  std::error_code ec;
  while (!ended_ && !std::filesystem::exists(pid, ec) && !std::filesystem::exists(ended, ec) &&
         std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(kPoll);
  }
  if (!ended_ && !std::filesystem::exists(ended, ec) && std::filesystem::exists(pid, ec)) {
    platform::KillProcess(static_cast<DWORD>(std::stoul(ReadFile(pid))));
  }
  return Release();
}

}  // namespace qorlog::testing
