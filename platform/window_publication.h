// Publishing a window under a name, as the viewer and the tray do, and
// finding it again: the window's handle sits in the first 8 bytes of a
// named file mapping that lives as long as the publisher holds it.
// Thread rules: a WindowPublication is used by one thread at a time; the
// look-up may run on any thread.
#pragma once

#include <string_view>

#include "platform/named_object.h"
#include "platform/types.h"
#include "platform/window.h"

namespace qorlog::platform {

// The bytes of a published handle at the start of the mapping.
inline constexpr std::size_t kPublishedWindowBytes = 8;

class WindowPublication {
 public:
  // Publishes `window` under `name`. 0; 183 when the name already holds a
  // live window (another publisher is running; nothing is changed); or the
  // system error code of making the mapping. A name whose holder left a
  // handle that is no longer a window is taken over.
  DWORD Publish(std::u16string_view name, HWND window);
  // Withdraws the publication (also on destruction).
  void Withdraw() { mapping_.Close(); }

 private:
  FileMapping mapping_;
};

// The window published under `name`, as it was written (not checked with
// IsWindow); 0 when nobody holds the name.
HWND FindPublishedWindow(std::u16string_view name);

}  // namespace qorlog::platform
