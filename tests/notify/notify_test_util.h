// Helpers of the notifier tests: records with a recognisable byte pattern,
// a machine-wide scope in a temporary folder, the viewer's install folder,
// and an install whose viewer is this test program.
#pragma once

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "api/qorlog.h"
#include "tests/support/temp_env.h"

namespace qorlog::testing {

// Fills a record with bytes that differ from offset to offset.
template <typename Record>
Record Patterned(unsigned seed) {
  Record r;
  auto* p = reinterpret_cast<unsigned char*>(&r);
  for (std::size_t i = 0; i < sizeof r; ++i) p[i] = static_cast<unsigned char>(i * 7 + seed);
  return r;
}

template <typename Record>
std::string BytesOf(const Record& r) {
  return std::string(reinterpret_cast<const char*>(&r), sizeof r);
}

// Points the machine-wide scope ("Global\" names) at a temporary folder
// (Windows has its own).
class GlobalScope {
 public:
  GlobalScope() { SetEnv("QORLOG_GLOBAL_DIR", (dir_.path() / "global").string()); }
  ~GlobalScope() { UnsetEnv("QORLOG_GLOBAL_DIR"); }

 private:
  TempDir dir_;
};

// The viewer's "InstallPath" for the life of the object: a line of the
// registry file, on Windows the value in HKEY_LOCAL_MACHINE's 32-bit view
// (install_path.cc), where the viewer's installer writes it.
class ViewerInstallPath {
 public:
  explicit ViewerInstallPath(const IsolatedEnv& env) : env_(env) {}
  ~ViewerInstallPath();
  ViewerInstallPath(const ViewerInstallPath&) = delete;
  ViewerInstallPath& operator=(const ViewerInstallPath&) = delete;
  void Set(const std::filesystem::path& folder) const;

 private:
  const IsolatedEnv& env_;
};

// An install folder whose viewer is a copy of this test program, which then
// acts as the viewer (fake_viewer.cc): "viewer" publishes its window and
// writes a report of the first record it receives; "silent" never publishes
// and never waits for messages, and only notes each start.
class FakeViewerInstall {
 public:
  FakeViewerInstall(const IsolatedEnv& env, const std::string& mode = "viewer");
  ~FakeViewerInstall() { UnsetEnv("QORLOG_TEST_FAKE_VIEWER"); }
  const std::filesystem::path& report() const { return report_; }

 private:
  ViewerInstallPath install_path_;
  std::filesystem::path report_;
};

}  // namespace qorlog::testing
