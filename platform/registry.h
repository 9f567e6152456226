// The registry stand-in: read-only string values of HKEY_LOCAL_MACHINE, held
// in a text file of sections and "name=data" lines:
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion]
//   ProgramFilesDir (x86)=/opt/suite
//
// The file is the one that QORLOG_REGISTRY names, else
// /etc/qorlog/registry.ini. When that file does not exist, built-in defaults
// answer: "ProgramFilesDir (x86)" is $XDG_DATA_HOME (else $HOME/.local/share)
// and the viewer's "InstallPath" is the folder where qorlog is installed.
// Key paths and value names are matched without regard to ASCII case.
// Thread rules: any thread; the parsed file is cached and re-read when it
// changes.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace qorlog::platform {

inline constexpr DWORD kRegNone = 0;
inline constexpr DWORD kRegSz = 1;
inline constexpr DWORD kRegExpandSz = 2;
inline constexpr DWORD kRegMultiSz = 7;
inline constexpr DWORD kKeyRead = 0x20019;
// Added to kKeyRead: open the key in the 32-bit registry view (Windows).
inline constexpr DWORD kKeyWow64_32Key = 0x0200;

// The registry file in use (which may not exist); on Windows, the name of
// the system registry's root key that is read.
std::string RegistryFilePath();
// Whether the registry is there to be read: the file exists (POSIX); always
// (Windows). Without it, built-in defaults answer.
bool RegistryPresent();

class RegistryKey {
 public:
  RegistryKey() = default;

  // Opens a key of HKEY_LOCAL_MACHINE, e.g. u"SOFTWARE\\VARNOK\\ZEL\\Pellora i".
  // 0, or 2 for a missing key.
  DWORD Open(std::u16string_view subkey, DWORD access = kKeyRead);

  // Reads a value as UTF-16 with its terminator. *size holds the buffer size
  // in bytes on entry and the value's size on return. A missing value gives 2
  // and leaves *type untouched; a value that does not fit gives 234 with
  // *type set and as much data as fits.
  DWORD QueryValue(std::u16string_view name, DWORD* type, void* data, DWORD* size) const;

  void Close() {
    values_.clear();
    open_ = false;
  }
  bool IsOpen() const { return open_; }

 private:
  bool open_ = false;
  std::map<std::u16string, std::u16string> values_;  // folded name -> data
};

}  // namespace qorlog::platform
