// Test access to the fake service helper library: where the built copies
// are, how to install one where the log library looks for it, and its call log.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace qorlog::testing {

// The built fake helper with all 26 exports, and one without qor2svcIsInstalled.
inline std::filesystem::path FakeHelperFile() { return QORLOG_FAKE_HELPER_FILE; }
inline std::filesystem::path PartialFakeHelperFile() { return QORLOG_PARTIAL_FAKE_HELPER_FILE; }

// Points the fake helper's call log at `log` and sets both gates (true = 1)
// for the life of the object.
class FakeHelperEnv {
 public:
  explicit FakeHelperEnv(const std::filesystem::path& log, bool user_mode = true, bool installed = true);
  ~FakeHelperEnv();
  void SetGates(bool user_mode, bool installed) const;
  // The lines recorded so far.
  std::vector<std::string> Calls() const;
  void ClearCalls() const;

 private:
  std::filesystem::path log_;
};

// Copies `helper` to <update folder>/amd64/qor2scd.so (.dll: the helper's
// own suffix) below `program_files`.
void InstallHelper(const std::filesystem::path& program_files, const std::filesystem::path& helper);

}  // namespace qorlog::testing
