// The registry on Windows: HKEY_LOCAL_MACHINE itself, read with
// RegOpenKeyExW and RegEnumValueW. The access mask goes to the system as
// given, so kKeyRead | kKeyWow64_32Key opens the 32-bit view (where a 32-bit
// program such as the viewer registers "InstallPath") and plain kKeyRead the
// library's own 64-bit view (where "ProgramFilesDir (x86)" lives).
//
// RegistryKey keeps what Open() read, as the Linux stand-in does: each value
// of the key with its type and exact byte count, so that QueryValue() can
// answer as registry.h promises (on 234 as much data as fits, where the
// system leaves the buffer undefined) and the callers' type and shape checks
// see the value as stored. Each entry of values_ is [type][byte count, two
// code units][the bytes, padded to whole code units].
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/registry.h"

namespace qorlog::platform {

namespace {

std::u16string Fold(std::u16string_view s) {
  std::u16string out(s);
  for (auto& c : out) {
    if (c >= u'A' && c <= u'Z') c += u'a' - u'A';
  }
  return out;
}

std::u16string Entry(DWORD type, const BYTE* data, DWORD bytes) {
  std::u16string entry;
  entry.push_back(static_cast<char16_t>(type));
  entry.push_back(static_cast<char16_t>(bytes & 0xFFFF));
  entry.push_back(static_cast<char16_t>(bytes >> 16));
  const std::size_t start = entry.size();
  entry.resize(start + (bytes + 1) / 2, 0);
  std::memcpy(entry.data() + start, data, bytes);
  return entry;
}

// Reads every value of an open key; false when the enumeration fails.
bool ReadValues(HKEY key, std::map<std::u16string, std::u16string>* values) {
  DWORD count = 0, max_name = 0, max_data = 0;
  if (::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &max_name,
                         &max_data, nullptr, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  std::vector<wchar_t> name(max_name + 1);
  std::vector<BYTE> data(std::max<DWORD>(max_data, 1));
  for (DWORD i = 0; i < count; ++i) {
    DWORD name_length = static_cast<DWORD>(name.size());
    DWORD type = REG_NONE;
    DWORD bytes = static_cast<DWORD>(data.size());
    const LSTATUS rc = ::RegEnumValueW(key, i, name.data(), &name_length, nullptr, &type, data.data(), &bytes);
    if (rc == ERROR_NO_MORE_ITEMS) break;  // a value went away meanwhile
    if (rc != ERROR_SUCCESS) return false;
    (*values)[Fold(std::u16string(name.begin(), name.begin() + name_length))] = Entry(type, data.data(), bytes);
  }
  return true;
}

}  // namespace

std::string RegistryFilePath() { return "HKEY_LOCAL_MACHINE"; }

bool RegistryPresent() { return true; }

DWORD RegistryKey::Open(std::u16string_view subkey, DWORD access) {
  Close();
  const std::wstring native(subkey.begin(), subkey.end());
  HKEY key = nullptr;
  const LSTATUS rc = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, native.c_str(), 0, access, &key);
  if (rc != ERROR_SUCCESS) {
    SetLastError(static_cast<DWORD>(rc));
    return static_cast<DWORD>(rc);
  }
  const bool read = ReadValues(key, &values_);
  ::RegCloseKey(key);
  if (!read) {
    values_.clear();
    return kErrorGenFailure;
  }
  open_ = true;
  return kErrorSuccess;
}

DWORD RegistryKey::QueryValue(std::u16string_view name, DWORD* type, void* data, DWORD* size) const {
  if (!open_) return kErrorInvalidHandle;
  auto it = values_.find(Fold(name));
  if (it == values_.end()) return kErrorFileNotFound;
  const std::u16string& entry = it->second;
  if (type != nullptr) *type = entry[0];
  const DWORD bytes = static_cast<DWORD>(entry[1]) | static_cast<DWORD>(entry[2]) << 16;
  const DWORD capacity = size != nullptr ? *size : 0;
  if (size != nullptr) *size = bytes;
  if (data == nullptr) return kErrorSuccess;
  std::memcpy(data, entry.data() + 3, std::min(capacity, bytes));
  return bytes > capacity ? kErrorMoreData : kErrorSuccess;
}

}  // namespace qorlog::platform
