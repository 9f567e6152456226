// Every process-wide object of the library, in load order (see the header).
#include "api/library_objects.h"

#include "notify/tray_notifier.h"

namespace qorlog {

namespace {

// The log manager's new-file notice: TRAY 111 with the kind, timed (at most
// 2000 ms), since the append holds the writers' mutex while it runs.
void NotifyTrayOfNewFile(DWORD kind) {
  CTrayNotifier tray;
  tray.NotifyNewLogFile(kind);
}

}  // namespace

// 1. The log manager: creates or opens the writers' mutex.
CLogManager g_LogManager{&NotifyTrayOfNewFile};

// 2. The log policy's CLogUtil: nothing read yet.
CLogUtil g_LogUtil;

}  // namespace qorlog
