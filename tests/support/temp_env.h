// Test helpers: a temporary folder that is removed afterwards, and an
// environment that points the library's registry file and session folder at
// such a folder, so that no test ever touches the user's real logs.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace qorlog::testing {

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

// Points QORLOG_REGISTRY at "<root>/registry.ini" (whose ProgramFilesDir (x86)
// is "<root>/pf") and XDG_RUNTIME_DIR at "<root>/run"; restores both on exit.
class IsolatedEnv {
 public:
  IsolatedEnv();
  ~IsolatedEnv();
  IsolatedEnv(const IsolatedEnv&) = delete;
  IsolatedEnv& operator=(const IsolatedEnv&) = delete;

  const std::filesystem::path& root() const { return dir_.path(); }
  std::filesystem::path program_files() const { return dir_.path() / "pf"; }
  std::filesystem::path registry_file() const { return dir_.path() / "registry.ini"; }
  // The folder of a category, e.g. CategoryFolder("firewall").
  std::filesystem::path CategoryFolder(const std::string& name) const;
  // Rewrites the registry file with extra lines appended to the default text.
  void WriteRegistry(const std::string& extra_text) const;

 private:
  TempDir dir_;
  std::string old_registry_;
  std::string old_runtime_;
  bool had_registry_ = false;
  bool had_runtime_ = false;
};

// The Program Files folder where the library looks: the isolated
// environment's, and on Windows the machine's, since the library reads the
// system's registry there, which a test cannot point at a temporary folder.
// On Windows the scope also makes its test the only one using the suite's
// tree there ("Varnok"), which it empties before and after; outside a
// private Wine prefix (as the Windows build runs its tests) it is not usable,
// so that no test empties a real machine's logs.
class ProgramFilesScope {
 public:
  explicit ProgramFilesScope(const IsolatedEnv& env);
  ~ProgramFilesScope();
  ProgramFilesScope(const ProgramFilesScope&) = delete;
  ProgramFilesScope& operator=(const ProgramFilesScope&) = delete;

  bool usable() const { return usable_; }
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path CategoryFolder(const std::string& name) const {
    return path_ / "Varnok" / "ZEL" / "Common" / "Log" / name;
  }

 private:
  std::filesystem::path path_;
  bool usable_ = true;
  struct Lock;
  std::unique_ptr<Lock> lock_;
};

// The first line of a test that needs a usable ProgramFilesScope.
#define QORLOG_SKIP_UNLESS_USABLE(scope) \
  if (!(scope).usable()) GTEST_SKIP() << "on Windows only in a private Wine prefix: it empties the log folders"

// Sets or removes a variable of this process's environment (the C library's,
// which child processes inherit).
void SetEnv(const char* name, const std::string& value);
void UnsetEnv(const char* name);

// Writes bytes to a file, replacing it.
void WriteFile(const std::filesystem::path& path, const std::string& bytes);
// Reads a whole file; an empty string when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

}  // namespace qorlog::testing
