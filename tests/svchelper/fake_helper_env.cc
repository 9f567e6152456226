#include "tests/svchelper/fake_helper.h"

#include <cstdlib>
#include <fstream>

namespace qorlog::testing {

FakeHelperEnv::FakeHelperEnv(const std::filesystem::path& log, bool user_mode, bool installed) : log_(log) {
  setenv("QORLOG_FAKE_HELPER_LOG", log_.c_str(), 1);
  SetGates(user_mode, installed);
}

FakeHelperEnv::~FakeHelperEnv() {
  unsetenv("QORLOG_FAKE_HELPER_LOG");
  unsetenv("QORLOG_FAKE_HELPER_USER_MODE");
  unsetenv("QORLOG_FAKE_HELPER_INSTALLED");
}

void FakeHelperEnv::SetGates(bool user_mode, bool installed) const {
  setenv("QORLOG_FAKE_HELPER_USER_MODE", user_mode ? "1" : "0", 1);
  setenv("QORLOG_FAKE_HELPER_INSTALLED", installed ? "1" : "0", 1);
}

std::vector<std::string> FakeHelperEnv::Calls() const {
  std::vector<std::string> lines;
  std::ifstream in(log_);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void FakeHelperEnv::ClearCalls() const {
  std::error_code ec;
  std::filesystem::remove(log_, ec);
}

void InstallHelper(const std::filesystem::path& program_files, const std::filesystem::path& helper) {
  const auto folder = program_files / "Varnok/ZEL/Pellora i/amd64";
  std::filesystem::create_directories(folder);
  std::filesystem::copy_file(helper, folder / "qor2scd.so", std::filesystem::copy_options::overwrite_existing);
}

}  // namespace qorlog::testing
