#include "logstore/open_when_free.h"

#include <algorithm>

#include "platform/errors.h"
#include "platform/system.h"

namespace qorlog::inline logstore {

namespace {

template <typename OpenOnce>
bool RetryWhileShared(OpenOnce open_once, DWORD* error, DWORD max_wait_ms) {
  DWORD last = 0;
  DWORD waited = 0;
  // Short pauses first: most holders let go within a millisecond.
  for (DWORD pause = 1;; pause = std::min<DWORD>(pause * 2, 16)) {
    if (open_once(&last)) return true;
    if (last != platform::kErrorSharingViolation || waited >= max_wait_ms) break;
    platform::SleepMilliseconds(pause);
    waited += pause;
  }
  if (error != nullptr) *error = last;
  return false;
}

}  // namespace

bool OpenWhenFree(platform::File& file, std::u16string_view path, unsigned flags, DWORD* error, DWORD max_wait_ms) {
  return RetryWhileShared([&](DWORD* last) { return file.Open(path, flags, last); }, error, max_wait_ms);
}

bool OpenWhenFree(platform::File& file, const platform::Folder& folder, std::u16string_view name, unsigned flags,
                  DWORD* error, DWORD max_wait_ms) {
  return RetryWhileShared([&](DWORD* last) { return file.OpenIn(folder, name, flags, last); }, error, max_wait_ms);
}

}  // namespace qorlog::logstore
