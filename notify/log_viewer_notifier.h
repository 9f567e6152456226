// CLogViewerNotifier: hands records to the log viewer by window message,
// starting the viewer (hidden) when it has not published its window.
//
// The viewer publishes its window handle in the first 8 bytes of the named
// mapping kViewerMappingName. Every call looks it up afresh, so a restarted
// viewer is found at once. Every failure is quiet: no window, no registry
// value, a failed start or a viewer that does not publish its window in time
// all end in nothing being sent and a 0 result.
//
// Thread rules: stateless; build one on the stack for a notification. Calls
// block until the viewer has handled the record (or is gone), and a start of
// the viewer waits up to 3 s for its readiness.
#pragma once

#include "api/qorlog.h"
#include "platform/window.h"

namespace qorlog::inline notify {

class CLogViewerNotifier {
 public:
  CLogViewerNotifier() = default;
  virtual ~CLogViewerNotifier() = default;

  // Send a record that was just appended (time stamped) to the viewer as
  // WM_COPYDATA: simple records 202 with 548 bytes (the kind at 544), firewall
  // records 204 with 804 bytes, PC-scan records 206 with 672 bytes. The
  // viewer's result, or 0 when the record is null or no viewer window exists.
  platform::LRESULT NotifySimpleLog(const stSIMPLE_LOG_NOTIFY_W* log);
  platform::LRESULT NotifyFWLog(const stFW_LOG_W* log);
  platform::LRESULT NotifyPCScanLog(const stPC_SCAN_LOG_W* log);

  // Sends a text (WM_COPYDATA 200, 2 x characters + 1 bytes), starting the
  // viewer if needed. 0 for a null text or when there is no window.
  platform::LRESULT SendViewerText(const WCHAR* text);
  // With a text, as SendViewerText. Without one, sends WM_COPYDATA 201 with no
  // data to a viewer that is already running; never starts one.
  platform::LRESULT SendViewerCommand(const WCHAR* text);

  // The viewer's window: the published one, else the one published by a
  // viewer started from the install folder. 0 when there is none.
  platform::HWND FindOrLaunchViewer();
  // The handle stored in the viewer's mapping (which may be 0 or stale); 0
  // when no mapping exists.
  platform::HWND FindViewerWindow();
  // Reads the registry's "InstallPath" into `buffer` (260 characters): 1, or
  // 0 when the key or value is missing, not a terminated string, or longer
  // than 260 bytes with its terminator.
  BOOL GetViewerInstallPath(WCHAR* buffer);
  // Starts `path` with `arguments` (may be null), shown or hidden
  // (`show_window` 0). With `wait_ms` 0xFFFFFFFF waits for the program to end
  // and stores its exit code in *exit_code (may be null); otherwise waits at
  // most `wait_ms` for its readiness notice. Nonzero when it was started.
  BOOL LaunchProcess(const WCHAR* path, const WCHAR* arguments, DWORD wait_ms, int show_window, DWORD* exit_code);
};

}  // namespace qorlog::notify
