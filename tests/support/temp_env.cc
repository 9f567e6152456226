#include "tests/support/temp_env.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include <unistd.h>

namespace qorlog::testing {

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "qorlog-test-XXXXXX").string();
  if (mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Make read-only files and folders removable first.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  }
  std::filesystem::remove_all(path_, ec);
}

namespace {
void SaveEnv(const char* name, std::string& value, bool& had) {
  const char* old = std::getenv(name);
  had = old != nullptr;
  if (had) value = old;
}
void RestoreEnv(const char* name, const std::string& value, bool had) {
  if (had) {
    setenv(name, value.c_str(), 1);
  } else {
    unsetenv(name);
  }
}
}  // namespace

IsolatedEnv::IsolatedEnv() {
  SaveEnv("QORLOG_REGISTRY", old_registry_, had_registry_);
  SaveEnv("XDG_RUNTIME_DIR", old_runtime_, had_runtime_);
  std::filesystem::create_directories(root() / "run");
  std::filesystem::permissions(root() / "run", std::filesystem::perms::owner_all);
  WriteRegistry("");
  setenv("QORLOG_REGISTRY", registry_file().c_str(), 1);
  setenv("XDG_RUNTIME_DIR", (root() / "run").c_str(), 1);
}

IsolatedEnv::~IsolatedEnv() {
  RestoreEnv("QORLOG_REGISTRY", old_registry_, had_registry_);
  RestoreEnv("XDG_RUNTIME_DIR", old_runtime_, had_runtime_);
}

std::filesystem::path IsolatedEnv::CategoryFolder(const std::string& name) const {
  return program_files() / "Varnok" / "ZEL" / "Common" / "Log" / name;
}

void IsolatedEnv::WriteRegistry(const std::string& extra_text) const {
  std::ostringstream text;
  text << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion]\n"
       << "ProgramFilesDir (x86)=" << program_files().string() << "\n"
       << extra_text;
  WriteFile(registry_file(), text.str());
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace qorlog::testing
