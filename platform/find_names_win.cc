// The directory search on FindFirstFileW. The system's own matching also
// tries each name's short 8.3 form ("*.log" finds "a.log1" through
// "A~1.LOG"), so every name it reports is matched again with MatchesPattern:
// both systems find the same names for one pattern.
#include <windows.h>

#include <string>

#include "platform/errors.h"
#include "platform/find_names.h"
#include "platform/fs.h"

namespace qorlog::platform {

namespace {

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }


std::size_t LastSeparator(std::u16string_view path) { return path.find_last_of(u"/\\"); }

// A reparse point (a symbolic link) counts as a file of size 0, as on POSIX.
FindData Describe(std::u16string name, DWORD attributes, DWORD size_high, DWORD size_low) {
  FindData data;
  data.name = std::move(name);
  const bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  data.is_directory = !link && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  data.size_high = link || data.is_directory ? 0 : size_high;
  data.size_low = link || data.is_directory ? 0 : size_low;
  return data;
}

// Calls on_match(entry, name) for every entry that the search of
// `pattern_path` finds and MatchesPattern accepts. 0 when the search ran
// (matches or not), 3 for a missing folder, or the error of a search that
// could not start; the last error is set then.
template <typename OnMatch>
DWORD WalkMatches(std::u16string_view pattern_path, OnMatch on_match) {
  const std::size_t cut = LastSeparator(pattern_path);
  const std::u16string_view pattern = cut == std::u16string_view::npos ? pattern_path : pattern_path.substr(cut + 1);
  WIN32_FIND_DATAW entry;
  const HANDLE search = ::FindFirstFileExW(Wide(pattern_path).c_str(), FindExInfoBasic, &entry,
                                           FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) {
    const DWORD err = ::GetLastError();
    if (err == kErrorFileNotFound || err == kErrorNoMoreFiles) return kErrorSuccess;  // nothing matched
    SetLastError(err);
    return err;
  }
  do {
    std::u16string name(entry.cFileName, entry.cFileName + std::char_traits<wchar_t>::length(entry.cFileName));
    if (MatchesPattern(pattern, name)) on_match(entry, std::move(name));
  } while (::FindNextFileW(search, &entry));
  const DWORD err = ::GetLastError();
  ::FindClose(search);
  if (err != kErrorNoMoreFiles) {
    SetLastError(err);
    return err;
  }
  return kErrorSuccess;
}

DWORD NothingFound() {
  SetLastError(kErrorFileNotFound);
  return kErrorFileNotFound;
}

}  // namespace

DWORD FindFiles(std::u16string_view pattern_path, std::vector<FindData>* out) {
  out->clear();
  const DWORD err = WalkMatches(pattern_path, [out](const WIN32_FIND_DATAW& entry, std::u16string name) {
    out->push_back(Describe(std::move(name), entry.dwFileAttributes, entry.nFileSizeHigh, entry.nFileSizeLow));
  });
  if (err != kErrorSuccess) return err;
  return out->empty() ? NothingFound() : kErrorSuccess;
}

DWORD FindFileNames(std::u16string_view pattern_path, std::vector<std::u16string>* names) {
  names->clear();
  const DWORD err =
      WalkMatches(pattern_path, [names](const WIN32_FIND_DATAW&, std::u16string name) { names->push_back(std::move(name)); });
  if (err != kErrorSuccess) return err;
  return names->empty() ? NothingFound() : kErrorSuccess;
}

// The search hands out UTF-16 names already, so there is no conversion to
// spare: one pass keeps the greatest.
DWORD FindGreatestFileName(std::u16string_view pattern_path, std::u16string* greatest) {
  greatest->clear();
  bool found = false;
  const DWORD err = WalkMatches(pattern_path, [&](const WIN32_FIND_DATAW&, std::u16string name) {
    if (found && name <= *greatest) return;
    *greatest = std::move(name);
    found = true;
  });
  if (err != kErrorSuccess) return err;
  return found ? kErrorSuccess : NothingFound();
}

bool QueryFileEntry(std::u16string_view folder, std::u16string_view name, FindData* out) {
  std::u16string path(folder);
  if (path.empty() || LastSeparator(path) != path.size() - 1) path.push_back(kPathSeparator);
  path.append(name);
  WIN32_FILE_ATTRIBUTE_DATA info;
  if (!::GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &info)) return false;
  *out = Describe(std::u16string(name), info.dwFileAttributes, info.nFileSizeHigh, info.nFileSizeLow);
  return true;
}

}  // namespace qorlog::platform
