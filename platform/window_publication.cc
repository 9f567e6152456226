#include "platform/window_publication.h"

#include <cstring>

#include "platform/errors.h"

namespace qorlog::platform {

DWORD WindowPublication::Publish(std::u16string_view name, HWND window) {
  if (DWORD rc = mapping_.Create(name, kPublishedWindowBytes); rc != 0) return rc;
  HWND published = 0;
  std::memcpy(&published, mapping_.data(), sizeof published);
  // Someone else holds the name. It is another publisher unless the handle
  // it left is dead (a sender may still hold the mapping of one that ended).
  if (mapping_.already_existed() && IsWindow(published)) {
    mapping_.Close();
    return kErrorAlreadyExists;
  }
  std::memcpy(mapping_.data(), &window, sizeof window);
  return kErrorSuccess;
}

HWND FindPublishedWindow(std::u16string_view name) {
  FileMapping mapping;
  if (mapping.OpenForRead(name, kPublishedWindowBytes) != 0) return 0;
  HWND window = 0;
  std::memcpy(&window, mapping.data(), sizeof window);
  return window;
}

}  // namespace qorlog::platform
