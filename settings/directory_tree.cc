// MakeDirectoryTree: create a folder, creating missing parents first.
#include "platform/errors.h"
#include "platform/fs.h"
#include "platform/path_buffer.h"
#include "settings/secure_ini_document.h"

namespace qorlog {

BOOL CSecureIniDocument::MakeDirectoryTree(std::u16string_view path) {
  const DWORD error = platform::CreateFolder(path);
  if (error == platform::kErrorSuccess) return 1;
  if (error != platform::kErrorFileNotFound && error != platform::kErrorPathNotFound) return 0;

  // A parent is missing: make it, then try again.
  platform::PathBuffer parent(path);
  if (!parent.empty() && parent.view().back() == platform::kPathSeparator) {
    parent.Truncate(parent.size() - 1);
  }
  const std::size_t cut = parent.view().rfind(platform::kPathSeparator);
  if (cut == std::u16string_view::npos) return 0;
  parent.Truncate(cut);
  // The root folder always exists; reaching it means the path cannot be made.
  if (parent.empty()) return 0;
  // A parent that another process made meanwhile is as good as our own.
  if (!MakeDirectoryTree(parent.view()) && !platform::IsFolder(parent.view())) return 0;
  return platform::CreateFolder(path) == platform::kErrorSuccess ? 1 : 0;
}

}  // namespace qorlog
