// CTrayNotifier: messages to the suite's tray process, and the test for the
// tray's presence event.
//
// The tray publishes its window handle in the first 8 bytes of the mapping
// "Global\" + kTrayMappingName (the bare name off the NT family). Every call
// looks it up afresh and returns 0 when there is no live window. "Timed"
// below means SendMessageTimeoutW with abort-if-hung and 2000 ms: such a call
// never blocks longer, which matters because the writers send TRAY 111 while
// they hold the writers' mutex.
//
// Thread rules: stateless; build one on the stack for a notification.
#pragma once

#include <cstdint>

#include "api/qorlog.h"
#include "platform/window.h"

namespace qorlog::inline notify {

// Time limit of the timed tray messages.
inline constexpr platform::UINT kTrayTimeoutMs = 2000;

class CTrayNotifier {
 public:
  CTrayNotifier() = default;
  virtual ~CTrayNotifier() = default;

  // The tray's live window, or 0.
  platform::HWND FindTrayWindow();

  // TRAY 101 with `value` as lParam, timed.
  platform::LRESULT SendTrayValue(std::int32_t value);
  // FLICKER with the calling thread's id as wParam and `value`, posted.
  platform::LRESULT FlickerTray(std::int32_t value);
  // FLICKER with `param` as wParam and `value` as lParam, posted.
  platform::LRESULT FlickerTray(std::int32_t value, DWORD param);
  // TRAY 102 with 0, timed.
  platform::LRESULT RefreshTray();
  // TRAY 103 with `value`, posted.
  platform::LRESULT PostTrayValue(DWORD value);
  // TRAY 104 with 0, timed.
  platform::LRESULT UpdateTray();
  // TRAY 110 with 1, timed.
  platform::LRESULT ResetTray();
  // TRAY 111 with the kind whose new log file is about to be created, timed.
  // The writers send this while holding their mutex.
  platform::LRESULT NotifyNewLogFile(DWORD kind);
  // WM_COPYDATA with a text of 2 x characters + 1 bytes: identifiers 105,
  // 106, 107 and 109 timed, 112, 113 and 114 by SendMessageW. 0 for a null
  // text or another identifier.
  platform::LRESULT SendTrayText(DWORD id, const WCHAR* text);
  // WM_COPYDATA 115 (548 bytes), 117 (804 bytes), 119 (672 bytes) by
  // SendMessageW. 0 for a null record.
  platform::LRESULT SendSimpleLog(const stSIMPLE_LOG_NOTIFY_W* log);
  platform::LRESULT SendFWLog(const stFW_LOG_W* log);
  platform::LRESULT SendPCScanLog(const stPC_SCAN_LOG_W* log);

 private:
  platform::LRESULT Timed(platform::UINT msg, platform::WPARAM wparam, platform::LPARAM lparam);
  platform::LRESULT Posted(platform::UINT msg, platform::WPARAM wparam, platform::LPARAM lparam);
  platform::LRESULT CopyData(DWORD id, const void* data, DWORD size, bool timed);
};

// 1 when the tray's presence event exists ("Global\" name on the NT family),
// else 0. Needs no notifier.
BOOL IsTrayEventPresent();

}  // namespace qorlog::notify
