// CreateFolderTree: the one recursion over missing parent folders, built on
// CreateFolder, so it is the same on every backend.
#include "platform/errors.h"
#include "platform/fs.h"
#include "platform/path_buffer.h"

namespace qorlog::platform {

DWORD CreateFolderTree(std::u16string_view path) {
  const DWORD error = CreateFolder(path);
  if (error != kErrorFileNotFound && error != kErrorPathNotFound) return error;

  // A parent is missing: make it, then try again.
  PathBuffer parent(path);
  if (!parent.empty() && parent.view().back() == kPathSeparator) parent.Truncate(parent.size() - 1);
  const std::size_t cut = parent.view().rfind(kPathSeparator);
  if (cut == std::u16string_view::npos) return error;
  parent.Truncate(cut);
  // The root folder always exists; reaching it means the path cannot be made.
  if (parent.empty()) return error;
  // A parent that another process made meanwhile is as good as our own.
  if (const DWORD made = CreateFolderTree(parent.view()); made != 0 && !IsFolder(parent.view())) return made;
  return CreateFolder(path);
}

}  // namespace qorlog::platform
