// Helpers of the notifier tests: records with a recognisable byte pattern,
// a machine-wide scope in a temporary folder, and registry lines for the
// viewer's install folder.
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

// Points the machine-wide scope ("Global\" names) at a temporary folder.
class GlobalScope {
 public:
  GlobalScope() { setenv("QORLOG_GLOBAL_DIR", (dir_.path() / "global").c_str(), 1); }
  ~GlobalScope() { unsetenv("QORLOG_GLOBAL_DIR"); }

 private:
  TempDir dir_;
};

inline std::string InstallPathLines(const std::filesystem::path& folder) {
  return "[HKEY_LOCAL_MACHINE\\SOFTWARE\\VARNOK\\ZEL\\Pellora i]\nInstallPath=" + folder.string() + "\n";
}

}  // namespace qorlog::testing
