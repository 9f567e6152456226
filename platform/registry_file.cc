#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>

#include "platform/errors.h"
#include "platform/registry.h"
#include "platform/text.h"

#ifndef QORLOG_INSTALL_BINDIR
#define QORLOG_INSTALL_BINDIR "/usr/local/bin"
#endif

namespace qorlog::platform {

namespace {

using Values = std::map<std::u16string, std::u16string>;
using Keys = std::map<std::u16string, Values>;

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f'; }

std::u16string Fold(std::u16string_view s) {
  std::u16string out(s);
  for (auto& c : out) {
    if (c >= u'A' && c <= u'Z') c += u'a' - u'A';
  }
  return out;
}

std::u16string_view Trim(std::u16string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::u16string_view StripQuotes(std::u16string_view s) {
  while (!s.empty() && s.front() == u'"') s.remove_prefix(1);
  while (!s.empty() && s.back() == u'"') s.remove_suffix(1);
  return s;
}

// Parses the sectioned text: "[key path]" headers and "name=data" lines; ';'
// starts a comment line; pairs before the first header are dropped.
Keys Parse(std::u16string_view text) {
  Keys keys;
  Values* current = nullptr;
  while (!text.empty()) {
    const std::size_t nl = text.find(u'\n');
    std::u16string_view line = text.substr(0, nl);
    text = nl == std::u16string_view::npos ? std::u16string_view() : text.substr(nl + 1);
    line = Trim(line);
    if (line.empty() || line.front() == u';') continue;
    if (line.front() == u'[') {
      const std::size_t close = line.find(u']', 1);
      if (close != std::u16string_view::npos) {
        std::u16string_view name = line.substr(0, close);
        while (!name.empty() && name.front() == u'[') name.remove_prefix(1);
        current = &keys[Fold(StripQuotes(Trim(name)))];
        continue;
      }
    }
    const std::size_t eq = line.find(u'=');
    if (eq == std::u16string_view::npos || current == nullptr) continue;
    (*current)[Fold(Trim(line.substr(0, eq)))] = std::u16string(StripQuotes(Trim(line.substr(eq + 1))));
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
// changes, so that a lookup costs one stat() in the common case.
struct Cache {
  std::mutex mu;
  std::string path;
  bool exists = false;
  struct timespec mtime = {};
  ino_t ino = 0;
  off_t size = -1;
  Keys keys;
};

Keys Load(const std::string& path) {
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
    cache.keys = Parse(Utf8ToUtf16(text));
    cache.ino = st.st_ino;
    cache.size = st.st_size;
    cache.mtime = st.st_mtim;
  } else {
    // Defaults read the environment, so they are never cached.
    cache.path.clear();
    return Defaults();
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

DWORD RegistryKey::Open(std::u16string_view subkey, DWORD /*access*/) {
  Close();
  Keys keys = Load(RegistryFilePath());
  std::u16string name = Fold(subkey);
  // Accept the key path with or without the root key's name in front.
  auto it = keys.find(name);
  if (it == keys.end()) it = keys.find(u"hkey_local_machine\\" + name);
  if (it == keys.end()) {
    SetLastError(kErrorFileNotFound);
    return kErrorFileNotFound;
  }
  values_ = std::move(it->second);
  open_ = true;
  return kErrorSuccess;
}

DWORD RegistryKey::QueryValue(std::u16string_view name, DWORD* type, void* data, DWORD* size) const {
  if (!open_) return kErrorInvalidHandle;
  auto it = values_.find(Fold(name));
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
