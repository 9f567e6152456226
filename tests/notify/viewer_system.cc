// What the viewer tests ask of the system itself: how this process was
// started, the viewer's install folder where the library looks for it, and
// a program that the system treats as the viewer.
#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <climits>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/notify/notify_test_util.h"

namespace qorlog::testing {

#ifdef _WIN32

namespace {
constexpr wchar_t kViewerKey[] = L"SOFTWARE\\VARNOK\\ZEL\\Pellora i";
}  // namespace

// Told to start hidden, as a launcher asks with SW_HIDE.
bool StartedHidden() {
  STARTUPINFOW startup = {};
  ::GetStartupInfoW(&startup);
  return (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 && startup.wShowWindow == SW_HIDE;
}

ViewerInstallPath::~ViewerInstallPath() {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kViewerKey, 0, KEY_SET_VALUE | KEY_WOW64_32KEY, &key) == ERROR_SUCCESS) {
    ::RegDeleteValueW(key, L"InstallPath");
    ::RegCloseKey(key);
  }
}

void ViewerInstallPath::Set(const std::filesystem::path& folder) const {
  HKEY key = nullptr;
  if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kViewerKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
    return;
  }
  const std::wstring text = folder.wstring();
  ::RegSetValueExW(key, L"InstallPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  ::RegCloseKey(key);
}

// The viewer is a GUI program, and the system waits for a started program
// to be idle for input only then, never for a console program such as this
// test program: its copy is marked as a GUI program (the Subsystem field of
// the PE optional header, which follows the signature and the 20-byte file
// header at the offset that 0x3C holds).
void CopyAsViewer(const std::filesystem::path& program, const std::filesystem::path& copy) {
  std::filesystem::copy_file(program, copy);
  std::fstream file(copy, std::ios::in | std::ios::out | std::ios::binary);
  std::uint32_t header = 0;
  file.seekg(0x3C);
  file.read(reinterpret_cast<char*>(&header), sizeof header);
  const std::uint16_t gui = IMAGE_SUBSYSTEM_WINDOWS_GUI;
  file.seekp(header + 4 + 20 + offsetof(IMAGE_OPTIONAL_HEADER64, Subsystem));
  file.write(reinterpret_cast<const char*>(&gui), sizeof gui);
}

#else

void CopyAsViewer(const std::filesystem::path& program, const std::filesystem::path& copy) {
  std::filesystem::copy_file(program, copy);
}

namespace {
std::string LinkOf(const char* path) {
  char buf[PATH_MAX];
  const ssize_t n = readlink(path, buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}
}  // namespace

// Hidden: no terminal for input or output, and a session of its own.
bool StartedHidden() {
  return LinkOf("/proc/self/fd/0") == "/dev/null" && LinkOf("/proc/self/fd/1") == "/dev/null" && getsid(0) == getpid();
}

ViewerInstallPath::~ViewerInstallPath() = default;  // the registry file goes with the environment

void ViewerInstallPath::Set(const std::filesystem::path& folder) const {
  env_.WriteRegistry("[HKEY_LOCAL_MACHINE\\SOFTWARE\\VARNOK\\ZEL\\Pellora i]\nInstallPath=" + folder.string() + "\n");
}

#endif

}  // namespace qorlog::testing
