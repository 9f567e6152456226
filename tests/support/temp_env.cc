#include "tests/support/temp_env.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>

#ifdef _WIN32
#include "platform/named_mutex.h"
#include "platform/registry.h"
#endif

namespace qorlog::testing {

// A fresh name is tried until a folder can be created under it, as mkdtemp
// does; the standard library has this on every system.
TempDir::TempDir() {
  std::random_device random;
  const auto base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[32];
    std::snprintf(name, sizeof name, "qorlog-test-%08x", static_cast<unsigned>(random()));
    std::error_code ec;
    if (std::filesystem::create_directory(base / name, ec)) {
      std::filesystem::permissions(base / name, std::filesystem::perms::owner_all, ec);
      path_ = base / name;
      return;
    }
  }
  throw std::runtime_error("cannot make a temporary folder");
}

namespace {
// Removes `path` with all it holds, read-only files and folders too.
void RemoveAll(const std::filesystem::path& path) {
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(path, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  }
  std::filesystem::remove_all(path, ec);
}
}  // namespace

TempDir::~TempDir() { RemoveAll(path_); }

namespace {
void SaveEnv(const char* name, std::string& value, bool& had) {
  const char* old = std::getenv(name);
  had = old != nullptr;
  if (had) value = old;
}
void RestoreEnv(const char* name, const std::string& value, bool had) {
  if (had) {
    SetEnv(name, value);
  } else {
    UnsetEnv(name);
  }
}
}  // namespace

// The C library's environment calls; Windows' spells them differently.
void SetEnv(const char* name, const std::string& value) {
#ifdef _WIN32
  _putenv_s(name, value.c_str());
#else
  setenv(name, value.c_str(), 1);
#endif
}

void UnsetEnv(const char* name) {
#ifdef _WIN32
  _putenv_s(name, "");  // an empty value removes the variable there
#else
  unsetenv(name);
#endif
}

IsolatedEnv::IsolatedEnv() {
  SaveEnv("QORLOG_REGISTRY", old_registry_, had_registry_);
  SaveEnv("XDG_RUNTIME_DIR", old_runtime_, had_runtime_);
  std::filesystem::create_directories(root() / "run");
  std::filesystem::permissions(root() / "run", std::filesystem::perms::owner_all);
  WriteRegistry("");
  SetEnv("QORLOG_REGISTRY", registry_file().string());
  SetEnv("XDG_RUNTIME_DIR", (root() / "run").string());
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

#ifdef _WIN32
struct ProgramFilesScope::Lock {
  platform::NamedMutex mutex{u"QorLog-tests-program-files"};
};

ProgramFilesScope::ProgramFilesScope(const IsolatedEnv&) {
  platform::RegistryKey key;
  char16_t value[260] = {};
  DWORD type = 0, size = sizeof value;
  usable_ = std::getenv("WINEPREFIX") != nullptr && key.Open(u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion") == 0 &&
            key.QueryValue(u"ProgramFilesDir (x86)", &type, value, &size) == 0;
  if (!usable_) return;
  path_ = std::filesystem::path(std::u16string(value));
  lock_ = std::make_unique<Lock>();
  lock_->mutex.Wait();  // 128 after a test that died holding it: owned all the same
  RemoveAll(path_ / "Varnok");
}

ProgramFilesScope::~ProgramFilesScope() {
  if (lock_ == nullptr) return;
  RemoveAll(path_ / "Varnok");
  lock_->mutex.Release();
}
#else
struct ProgramFilesScope::Lock {};
ProgramFilesScope::ProgramFilesScope(const IsolatedEnv& env) : path_(env.program_files()) {}
ProgramFilesScope::~ProgramFilesScope() = default;
#endif

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
