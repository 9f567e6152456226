#include "tests/svchelper/fake_helper.h"

#include <fstream>

#include "tests/support/temp_env.h"

namespace qorlog::testing {

FakeHelperEnv::FakeHelperEnv(const std::filesystem::path& log, bool user_mode, bool installed) : log_(log) {
  SetEnv("QORLOG_FAKE_HELPER_LOG", log_.string());
  SetGates(user_mode, installed);
}

FakeHelperEnv::~FakeHelperEnv() {
  UnsetEnv("QORLOG_FAKE_HELPER_LOG");
  UnsetEnv("QORLOG_FAKE_HELPER_USER_MODE");
  UnsetEnv("QORLOG_FAKE_HELPER_INSTALLED");
}

void FakeHelperEnv::SetGates(bool user_mode, bool installed) const {
  SetEnv("QORLOG_FAKE_HELPER_USER_MODE", user_mode ? "1" : "0");
  SetEnv("QORLOG_FAKE_HELPER_INSTALLED", installed ? "1" : "0");
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
  std::filesystem::copy_file(helper, folder / ("qor2scd" + helper.extension().string()), std::filesystem::copy_options::overwrite_existing);
}

}  // namespace qorlog::testing
