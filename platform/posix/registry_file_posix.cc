#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>

#include "platform/errors.h"
#include "platform/ini_line.h"
#include "platform/registry.h"
#include "platform/text.h"

#ifndef QORLOG_INSTALL_BINDIR
#define QORLOG_INSTALL_BINDIR "/usr/local/bin"
#endif

namespace qorlog::platform {

namespace {

using Values = std::map<std::u16string, std::u16string>;
using Keys = std::map<std::u16string, Values>;

// The sectioned text, read with the settings files' line rules: "[key path]"
// headers and "name=data" lines; pairs before the first header are dropped.
Keys Parse(std::u16string_view text) {
  Keys keys;
  Values* current = nullptr;
  while (!text.empty()) {
    const std::size_t nl = text.find(u'\n');
    const IniLine line = ParseIniLine(text.substr(0, nl));
    text = nl == std::u16string_view::npos ? std::u16string_view() : text.substr(nl + 1);
    if (line.kind == IniLine::kSection) {
      current = &keys[line.name];
    } else if (line.kind == IniLine::kPair && current != nullptr) {
      (*current)[line.name] = line.value;
    }
  }
  return keys;
}

Keys Defaults() {
  Keys keys;
  std::string data_home;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg != 0) {
    data_home = xdg;
  } else if (const char* home = std::getenv("HOME"); home != nullptr) {
    data_home = std::string(home) + "/.local/share";
  }
  keys[u"software\\microsoft\\windows\\currentversion"][u"programfilesdir (x86)"] = Utf8ToUtf16(data_home);
  keys[u"software\\varnok\\zel\\pellora i"][u"installpath"] = Utf8ToUtf16(QORLOG_INSTALL_BINDIR);
  return keys;
}

// The parsed file, re-read only when its identity or modification time
// changes, so that a lookup costs one stat() in the common case. A lookup
// shares the parsed keys instead of copying them; a re-read replaces them
// whole, so a lookup that still holds the old ones is not disturbed.
struct Cache {
  std::mutex mu;
  std::string path;
  bool exists = false;
  struct timespec mtime = {};
  ino_t ino = 0;
  off_t size = -1;
  std::shared_ptr<const Keys> keys;
};

std::shared_ptr<const Keys> Load(const std::string& path) {
  static Cache cache;
  std::lock_guard lock(cache.mu);
  struct stat st;
  const bool exists = ::stat(path.c_str(), &st) == 0;
  if (path == cache.path && exists == cache.exists &&
      (!exists || (st.st_ino == cache.ino && st.st_size == cache.size &&
                   st.st_mtim.tv_sec == cache.mtime.tv_sec && st.st_mtim.tv_nsec == cache.mtime.tv_nsec))) {
    return cache.keys;
  }
  if (exists) {
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    cache.keys = std::make_shared<const Keys>(Parse(Utf8ToUtf16(text)));
    cache.ino = st.st_ino;
    cache.size = st.st_size;
    cache.mtime = st.st_mtim;
  } else {
    // Defaults read the environment, so they are never cached.
    cache.path.clear();
    return std::make_shared<const Keys>(Defaults());
  }
  cache.path = path;
  cache.exists = exists;
  return cache.keys;
}

}  // namespace

std::string RegistryFilePath() {
  if (const char* env = std::getenv("QORLOG_REGISTRY"); env != nullptr && *env != 0) return env;
  return "/etc/qorlog/registry.ini";
}

bool RegistryPresent() {
  struct stat st;
  return ::stat(RegistryFilePath().c_str(), &st) == 0;
}

DWORD RegistryKey::Open(std::u16string_view subkey, DWORD /*access*/) {
  Close();
  const std::shared_ptr<const Keys> keys = Load(RegistryFilePath());
  std::u16string name = FoldAsciiLower(subkey);
  // Accept the key path with or without the root key's name in front.
  auto it = keys->find(name);
  if (it == keys->end()) it = keys->find(u"hkey_local_machine\\" + name);
  if (it == keys->end()) {
    SetLastError(kErrorFileNotFound);
    return kErrorFileNotFound;
  }
  values_ = it->second;  // the values of this key only
  open_ = true;
  return kErrorSuccess;
}

DWORD RegistryKey::QueryValue(std::u16string_view name, DWORD* type, void* data, DWORD* size) const {
  if (!open_) return kErrorInvalidHandle;
  auto it = values_.find(FoldAsciiLower(name));
  if (it == values_.end()) return kErrorFileNotFound;
  if (type != nullptr) *type = kRegSz;
  const std::u16string& value = it->second;
  const DWORD needed = static_cast<DWORD>((value.size() + 1) * sizeof(char16_t));
  const DWORD capacity = size != nullptr ? *size : 0;
  if (size != nullptr) *size = needed;
  if (data == nullptr) return kErrorSuccess;
  std::u16string with_nul = value;
  with_nul.push_back(0);
  std::memcpy(data, with_nul.data(), std::min(capacity, needed) & ~1u);
  return needed > capacity ? kErrorMoreData : kErrorSuccess;
}

}  // namespace qorlog::platform
