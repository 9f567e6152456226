// The portable part of Folder: its path and the paths inside it.
#include "platform/folder.h"

namespace qorlog::platform {

Folder::Folder(std::u16string_view path) : path_(path) {
  // A lone separator names the root and stays.
  while (path_.size() > 1 && path_.back() == kPathSeparator) path_.pop_back();
}

std::u16string Folder::PathOf(std::u16string_view name) const {
  std::u16string out = path_;
  if (out.empty() || out.back() != kPathSeparator) out.push_back(kPathSeparator);
  out.append(name);
  return out;
}

}  // namespace qorlog::platform
