// Folder on Windows, by path for now: Open checks every component below the
// base before and after making the folders (a reparse point or a file there
// stops it), and the calls inside the folder work by path. A walk with
// handles (CreateFileW with FILE_FLAG_BACKUP_SEMANTICS |
// FILE_FLAG_OPEN_REPARSE_POINT, one component at a time) would also pin the
// folders against being replaced between the check and the use.
#include <algorithm>

#include "platform/errors.h"
#include "platform/file.h"
#include "platform/find_names.h"
#include "platform/folder.h"

namespace qorlog::platform {

namespace {

bool IsSeparator(char16_t c) { return c == u'/' || c == u'\\'; }

// True when a component of `path` after its first `from` code units exists as
// something other than a folder.
bool LinkOrFileBelow(std::u16string_view path, std::size_t from) {
  std::size_t start = std::min(from, path.size());
  while (start < path.size()) {
    while (start < path.size() && IsSeparator(path[start])) ++start;
    if (start == path.size()) break;
    std::size_t end = start;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    FindData entry;
    if (QueryFileEntry(path.substr(0, start), path.substr(start, end - start), &entry) && !entry.is_directory) {
      return true;
    }
    start = end;
  }
  return false;
}

}  // namespace

Folder::~Folder() = default;

DWORD Folder::Open(std::size_t base_size) {
  listed_ = false;
  if (LinkOrFileBelow(path_, base_size)) return kErrorStoppedOnLink;
  const DWORD made = CreateFolderTree(path_);
  if (LinkOrFileBelow(path_, base_size)) return kErrorStoppedOnLink;
  return made == kErrorAlreadyExists ? kErrorSuccess : made;
}

DWORD FindFileNames(Folder& folder, std::u16string_view pattern, std::vector<std::u16string>* names) {
  return FindFileNames(folder.PathOf(pattern), names);
}

DWORD FindGreatestFileName(Folder& folder, std::u16string_view pattern, std::u16string* greatest) {
  return FindGreatestFileName(folder.PathOf(pattern), greatest);
}

bool QueryFileEntry(Folder& folder, std::u16string_view name, FindData* out) {
  return QueryFileEntry(folder.path(), name, out);
}

bool File::OpenIn(const Folder& folder, std::u16string_view name, unsigned flags, DWORD* error) {
  return Open(folder.PathOf(name), flags, error);
}

}  // namespace qorlog::platform
