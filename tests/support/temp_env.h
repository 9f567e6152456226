// Test helpers: a temporary folder that is removed afterwards, and an
// environment that points the library's registry file and session folder at
// such a folder, so that no test ever touches the user's real logs.
#pragma once

#include <filesystem>
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

// Sets or removes a variable of this process's environment (the C library's,
// which child processes inherit).
void SetEnv(const char* name, const std::string& value);
void UnsetEnv(const char* name);

// Writes bytes to a file, replacing it.
void WriteFile(const std::filesystem::path& path, const std::string& bytes);
// Reads a whole file; an empty string when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

}  // namespace qorlog::testing
