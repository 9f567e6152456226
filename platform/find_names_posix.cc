#include "platform/find_names.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "platform/errors.h"
#include "platform/text.h"

namespace qorlog::platform {

DWORD FindFileNames(std::u16string_view pattern_path, std::vector<std::u16string>* names) {
  names->clear();
  const std::size_t slash = pattern_path.rfind(kPathSeparator);
  std::u16string folder = slash == std::u16string_view::npos ? u"." : std::u16string(pattern_path.substr(0, slash));
  if (folder.empty()) folder = u"/";
  const std::u16string_view pattern =
      slash == std::u16string_view::npos ? pattern_path : pattern_path.substr(slash + 1);
  const std::string native = Utf16ToUtf8(folder);

  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(native.c_str()), &::closedir);
  if (!dir) {
    const DWORD err = errno == ENOENT || errno == ENOTDIR ? kErrorPathNotFound : ErrorFromErrno(errno, native);
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
    if (!starts_with_prefix(entry->d_name)) continue;
    std::u16string name = Utf8ToUtf16(entry->d_name);
    if (MatchesPattern(rest, std::u16string_view(name).substr(skip))) names->push_back(std::move(name));
  }
  if (names->empty()) {
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
