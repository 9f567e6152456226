#include "platform/find_names.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "platform/errors.h"
#include "platform/folder.h"
#include "platform/posix/errno_table.h"
#include "platform/posix/folder_listing.h"
#include "platform/posix/sys.h"
#include "platform/text.h"

namespace qorlog::platform {

namespace {

// Calls on_name(d_name) for every entry of the open folder `fd`, read with
// getdents64 from the folder's start. Returns 0 or errno.
template <typename OnName>
int ReadNames(int fd, OnName on_name) {
  alignas(8) char buffer[16384];
  for (;;) {
    const ssize_t n = ::getdents64(fd, buffer, sizeof buffer);
    if (n < 0) return errno;
    if (n == 0) return 0;
    for (ssize_t at = 0; at < n;) {
      const auto* entry = reinterpret_cast<const struct dirent64*>(buffer + at);
      on_name(entry->d_name);
      at += entry->d_reclen;
    }
  }
}

// Calls on_match(d_name, name) for every name that `read_names` hands to its
// callback and that matches `pattern` (MatchesPattern rules); `name` is the
// UTF-16 name, made only for entries that on_entry(d_name) lets through.
// Returns what read_names returns (0 or errno).
template <typename ReadNamesFn, typename OnEntry, typename OnMatch>
int MatchNames(ReadNamesFn read_names, std::u16string_view pattern, OnEntry on_entry, OnMatch on_match) {
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
  return read_names([&](const char* d_name) {
    if (!starts_with_prefix(d_name) || !on_entry(d_name)) return;
    std::u16string name = Utf8ToUtf16(d_name);
    if (MatchesPattern(rest, std::u16string_view(name).substr(skip))) on_match(d_name, std::move(name));
  });
}

DWORD SearchFailed(DWORD err) {
  SetLastError(err);
  return err;
}

// The walk over the folder of `pattern_path` (its last component is the
// pattern), opened for this search only. Returns 0, 3 for a missing folder,
// or the system error of a search that could not start (the last error is
// then set). An open and getdents64 cost one call less than opendir, which
// also asks fstat.
template <typename OnEntry, typename OnMatch>
DWORD WalkMatchingNames(std::u16string_view pattern_path, OnEntry on_entry, OnMatch on_match) {
  const std::size_t slash = pattern_path.rfind(kPathSeparator);
  std::u16string folder = slash == std::u16string_view::npos ? u"." : std::u16string(pattern_path.substr(0, slash));
  if (folder.empty()) folder = u"/";
  const std::u16string_view pattern =
      slash == std::u16string_view::npos ? pattern_path : pattern_path.substr(slash + 1);
  const std::string native = Utf16ToUtf8(folder);
  posix::FolderDescriptor dir(
      posix::RetryOnEintr([&] { return ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
  if (!dir.IsValid()) {
    return SearchFailed(errno == ENOENT || errno == ENOTDIR ? kErrorPathNotFound : posix::ErrorFromErrno(errno, native));
  }
  auto read_names = [fd = dir.get()](auto on_name) { return ReadNames(fd, on_name); };
  if (int err = MatchNames(read_names, pattern, on_entry, on_match); err != 0) {
    return SearchFailed(posix::ErrorFromErrno(err, native));
  }
  return kErrorSuccess;
}

// The same walk over an open folder, or by path when the folder is not open.
template <typename OnEntry, typename OnMatch>
DWORD WalkMatchingNames(Folder& folder, std::u16string_view pattern, OnEntry on_entry, OnMatch on_match) {
  if (!folder.IsOpen()) return WalkMatchingNames(folder.PathOf(pattern), on_entry, on_match);
  // The names may be those kept from an earlier search while the folder is
  // provably unchanged (posix/folder_listing.h).
  posix::folder_listing::Names names;
  const bool confirmed = folder.TakeConfirmed();
  if (int err = posix::folder_listing::Read(posix::FdOf(folder.handle()), folder.listed(), confirmed, &names);
      err != 0) {
    return SearchFailed(posix::ErrorFromErrno(err));
  }
  folder.set_listed();
  auto read_names = [&names](auto on_name) {
    for (const std::string& name : *names) on_name(name.c_str());
    return 0;
  };
  MatchNames(read_names, pattern, on_entry, on_match);
  return kErrorSuccess;
}

bool IsAscii(const char* text) {
  for (; *text != 0; ++text) {
    if (static_cast<unsigned char>(*text) >= 0x80) return false;
  }
  return true;
}

template <typename... Where>
DWORD ListNames(std::vector<std::u16string>* names, Where&&... where) {
  names->clear();
  const DWORD err = WalkMatchingNames(
      where..., [](const char*) { return true; },
      [names](const char*, std::u16string name) { names->push_back(std::move(name)); });
  if (err != kErrorSuccess) return err;
  if (names->empty()) {
    SetLastError(kErrorFileNotFound);
    return kErrorFileNotFound;
  }
  return kErrorSuccess;
}

template <typename... Where>
DWORD GreatestName(std::u16string* greatest, Where&&... where) {
  greatest->clear();
  bool found = false;
  // UTF-8 of the greatest so far while it is ASCII: an ASCII name that does
  // not sort above it cannot win and is passed over unconverted (for ASCII
  // text the byte order is the order of the UTF-16 code units).
  std::string ascii_best;
  bool best_is_ascii = false;
  const DWORD err = WalkMatchingNames(
      where...,
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

}  // namespace

DWORD FindFileNames(std::u16string_view pattern_path, std::vector<std::u16string>* names) {
  return ListNames(names, pattern_path);
}

DWORD FindFileNames(Folder& folder, std::u16string_view pattern, std::vector<std::u16string>* names) {
  return ListNames(names, folder, pattern);
}

DWORD FindGreatestFileName(std::u16string_view pattern_path, std::u16string* greatest) {
  return GreatestName(greatest, pattern_path);
}

DWORD FindGreatestFileName(Folder& folder, std::u16string_view pattern, std::u16string* greatest) {
  return GreatestName(greatest, folder, pattern);
}

namespace {

void Describe(std::u16string_view name, const struct stat& st, FindData* out) {
  out->name.assign(name);
  out->is_directory = S_ISDIR(st.st_mode);
  const auto size = static_cast<std::uint64_t>(S_ISREG(st.st_mode) ? st.st_size : 0);
  out->size_high = static_cast<DWORD>(size >> 32);
  out->size_low = static_cast<DWORD>(size);
}

}  // namespace

bool QueryFileEntry(Folder& folder, std::u16string_view name, FindData* out) {
  if (!folder.IsOpen()) return QueryFileEntry(folder.path(), name, out);
  struct stat st;
  if (::fstatat(posix::FdOf(folder.handle()), Utf16ToUtf8(name).c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  Describe(name, st, out);
  return true;
}

bool QueryFileEntry(std::u16string_view folder, std::u16string_view name, FindData* out) {
  std::u16string path(folder);
  if (path.empty() || path.back() != kPathSeparator) path.push_back(kPathSeparator);
  path.append(name);
  struct stat st;
  if (::lstat(Utf16ToUtf8(path).c_str(), &st) != 0) return false;
  Describe(name, st, out);
  return true;
}

}  // namespace qorlog::platform
