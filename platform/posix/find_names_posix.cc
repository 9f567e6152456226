#include "platform/find_names.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/errors.h"
#include "platform/posix/errno_table.h"
#include "platform/text.h"

namespace qorlog::platform {

namespace {

// Calls on_match(d_name, name) for every entry of the folder of
// `pattern_path` that matches its last component (MatchesPattern rules);
// `name` is the UTF-16 name, made only for entries that on_entry(d_name)
// lets through. Returns 0, 3 for a missing folder, or the system error of a
// search that could not start (the last error is then set).
template <typename OnEntry, typename OnMatch>
DWORD WalkMatchingNames(std::u16string_view pattern_path, OnEntry on_entry, OnMatch on_match) {
  const std::size_t slash = pattern_path.rfind(kPathSeparator);
  std::u16string folder = slash == std::u16string_view::npos ? u"." : std::u16string(pattern_path.substr(0, slash));
  if (folder.empty()) folder = u"/";
  const std::u16string_view pattern =
      slash == std::u16string_view::npos ? pattern_path : pattern_path.substr(slash + 1);
  const std::string native = Utf16ToUtf8(folder);

  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(native.c_str()), &::closedir);
  if (!dir) {
    const DWORD err = errno == ENOENT || errno == ENOTDIR ? kErrorPathNotFound : posix::ErrorFromErrno(errno, native);
    SetLastError(err);
    return err;
  }
  // The pattern's literal ASCII start ("20260101" of "20260101??.log"): a
  // name that does not begin with it cannot match, and is passed over
  // without converting it. ASCII bytes stand for themselves in UTF-8.
  std::string prefix;
  for (char16_t c : pattern) {
    if (c == u'*' || c == u'?' || c >= 0x80) break;
    prefix.push_back(static_cast<char>(c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c));
  }
  auto starts_with_prefix = [&prefix](const char* name) {
    for (std::size_t i = 0; i < prefix.size(); ++i) {
      char c = name[i];
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
      if (c != prefix[i]) return false;  // also stops at the name's end
    }
    return true;
  };
  // After the prefix, only the rest of the pattern is left to match: the
  // prefix holds no wildcard, so a name that starts with it matches the
  // pattern exactly when its rest matches the pattern's rest. ("*.*" matches
  // every name as a whole pattern only, so such a rest is matched in full.)
  std::size_t skip = prefix.size();
  if (pattern.substr(skip) == u"*.*") skip = 0;
  const std::u16string_view rest = pattern.substr(skip);
  while (struct dirent* entry = ::readdir(dir.get())) {
    if (!starts_with_prefix(entry->d_name) || !on_entry(entry->d_name)) continue;
    std::u16string name = Utf8ToUtf16(entry->d_name);
    if (MatchesPattern(rest, std::u16string_view(name).substr(skip))) on_match(entry->d_name, std::move(name));
  }
  return kErrorSuccess;
}

bool IsAscii(const char* text) {
  for (; *text != 0; ++text) {
    if (static_cast<unsigned char>(*text) >= 0x80) return false;
  }
  return true;
}

}  // namespace

DWORD FindFileNames(std::u16string_view pattern_path, std::vector<std::u16string>* names) {
  names->clear();
  const DWORD err = WalkMatchingNames(
      pattern_path, [](const char*) { return true; },
      [names](const char*, std::u16string name) { names->push_back(std::move(name)); });
  if (err != kErrorSuccess) return err;
  if (names->empty()) {
    SetLastError(kErrorFileNotFound);
    return kErrorFileNotFound;
  }
  return kErrorSuccess;
}

DWORD FindGreatestFileName(std::u16string_view pattern_path, std::u16string* greatest) {
  greatest->clear();
  bool found = false;
  // UTF-8 of the greatest so far while it is ASCII: an ASCII name that does
  // not sort above it cannot win and is passed over unconverted (for ASCII
  // text the byte order is the order of the UTF-16 code units).
  std::string ascii_best;
  bool best_is_ascii = false;
  const DWORD err = WalkMatchingNames(
      pattern_path,
      [&](const char* d_name) {
        return !(found && best_is_ascii && std::strcmp(d_name, ascii_best.c_str()) <= 0 && IsAscii(d_name));
      },
      [&](const char* d_name, std::u16string name) {
        if (found && name <= *greatest) return;
        *greatest = std::move(name);
        found = true;
        best_is_ascii = IsAscii(d_name);
        if (best_is_ascii) ascii_best = d_name;
      });
  if (err != kErrorSuccess) return err;
  if (!found) {
    SetLastError(kErrorFileNotFound);
    return kErrorFileNotFound;
  }
  return kErrorSuccess;
}

bool QueryFileEntry(std::u16string_view folder, std::u16string_view name, FindData* out) {
  std::u16string path(folder);
  if (path.empty() || path.back() != kPathSeparator) path.push_back(kPathSeparator);
  path.append(name);
  struct stat st;
  if (::lstat(Utf16ToUtf8(path).c_str(), &st) != 0) return false;
  out->name.assign(name);
  out->is_directory = S_ISDIR(st.st_mode);
  const auto size = static_cast<std::uint64_t>(S_ISREG(st.st_mode) ? st.st_size : 0);
  out->size_high = static_cast<DWORD>(size >> 32);
  out->size_low = static_cast<DWORD>(size);
  return true;
}

}  // namespace qorlog::platform
