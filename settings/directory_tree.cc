// MakeDirectoryTree: create a folder, creating missing parents first.
#include "platform/fs.h"
#include "settings/secure_ini_document.h"

namespace qorlog {

BOOL CSecureIniDocument::MakeDirectoryTree(std::u16string_view path) {
  return platform::CreateFolderTree(path) == 0 ? 1 : 0;
}

}  // namespace qorlog
