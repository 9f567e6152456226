#include "notify/tray_notifier.h"

#include <string>

#include "notify/notify_names.h"
#include "platform/named_object.h"
#include "platform/process.h"
#include "platform/window_publication.h"

namespace qorlog::inline notify {

namespace {

using platform::HWND;
using platform::LRESULT;

bool IsTimedText(DWORD id) { return id == 105 || id == 106 || id == 107 || id == 109; }
bool IsSentText(DWORD id) { return id == 112 || id == 113 || id == 114; }

}  // namespace

HWND CTrayNotifier::FindTrayWindow() {
  const HWND window = platform::FindPublishedWindow(TrayObjectName(kTrayMappingName).view());
  return platform::IsWindow(window) ? window : 0;
}

LRESULT CTrayNotifier::Timed(platform::UINT msg, platform::WPARAM wparam, platform::LPARAM lparam) {
  const HWND window = FindTrayWindow();
  if (window == 0 || !platform::IsWindow(window)) return 0;
  return platform::SendMessageTimeoutW(window, msg, wparam, lparam, platform::kSmtoAbortIfHung, kTrayTimeoutMs,
                                       nullptr);
}

LRESULT CTrayNotifier::Posted(platform::UINT msg, platform::WPARAM wparam, platform::LPARAM lparam) {
  const HWND window = FindTrayWindow();
  if (window == 0 || !platform::IsWindow(window)) return 0;
  return platform::PostMessageW(window, msg, wparam, lparam) ? 1 : 0;
}

LRESULT CTrayNotifier::CopyData(DWORD id, const void* data, DWORD size, bool timed) {
  const HWND window = FindTrayWindow();
  if (window == 0 || !platform::IsWindow(window)) return 0;
  platform::CopyDataStruct cds{id, size, data};
  if (timed) {
    return platform::SendMessageTimeoutW(window, platform::kWmCopyData, 0, platform::ToLParam(&cds),
                                         platform::kSmtoAbortIfHung, kTrayTimeoutMs, nullptr);
  }
  return platform::SendMessageW(window, platform::kWmCopyData, 0, platform::ToLParam(&cds));
}

LRESULT CTrayNotifier::SendTrayValue(std::int32_t value) { return Timed(TrayMessage(), kTrayValue, value); }

LRESULT CTrayNotifier::FlickerTray(std::int32_t value) {
  return Posted(TrayFlickerMessage(), platform::GetCurrentThreadId(), value);
}

LRESULT CTrayNotifier::FlickerTray(std::int32_t value, DWORD param) {
  return Posted(TrayFlickerMessage(), param, value);
}

LRESULT CTrayNotifier::RefreshTray() { return Timed(TrayMessage(), kTrayRefresh, 0); }

LRESULT CTrayNotifier::PostTrayValue(DWORD value) { return Posted(TrayMessage(), kTrayPostedValue, value); }

LRESULT CTrayNotifier::UpdateTray() { return Timed(TrayMessage(), kTrayUpdate, 0); }

LRESULT CTrayNotifier::ResetTray() { return Timed(TrayMessage(), kTrayReset, 1); }

LRESULT CTrayNotifier::NotifyNewLogFile(DWORD kind) { return Timed(TrayMessage(), kTrayNewLogFile, kind); }

LRESULT CTrayNotifier::SendTrayText(DWORD id, const WCHAR* text) {
  if (text == nullptr || (!IsTimedText(id) && !IsSentText(id))) return 0;
  // The byte count covers the characters and one byte of the terminator.
  const auto bytes = static_cast<DWORD>(2 * std::char_traits<char16_t>::length(text) + 1);
  return CopyData(id, text, bytes, IsTimedText(id));
}

LRESULT CTrayNotifier::SendSimpleLog(const stSIMPLE_LOG_NOTIFY_W* log) {
  return log == nullptr ? 0 : CopyData(kTraySimpleLog, log, sizeof *log, false);
}

LRESULT CTrayNotifier::SendFWLog(const stFW_LOG_W* log) {
  return log == nullptr ? 0 : CopyData(kTrayFWLog, log, sizeof *log, false);
}

LRESULT CTrayNotifier::SendPCScanLog(const stPC_SCAN_LOG_W* log) {
  return log == nullptr ? 0 : CopyData(kTrayPCScanLog, log, sizeof *log, false);
}

BOOL IsTrayEventPresent() {
  platform::NamedEvent event;
  return event.Open(TrayObjectName(kTrayEventName).view()) == 0 ? 1 : 0;
}

}  // namespace qorlog::notify
