#include "notify/notify_names.h"

#include "platform/os_version.h"

namespace qorlog::inline notify {

namespace {

// Registered once when the library is loaded, then only read.
const platform::UINT g_tray_message = platform::RegisterWindowMessageA(kTrayMessageName);
const platform::UINT g_tray_flicker_message = platform::RegisterWindowMessageA(kTrayFlickerMessageName);

}  // namespace

// A call from another object's load-time initializer may come before ours ran;
// the number is the same either way.
platform::UINT TrayMessage() {
  return g_tray_message != 0 ? g_tray_message : platform::RegisterWindowMessageA(kTrayMessageName);
}

platform::UINT TrayFlickerMessage() {
  return g_tray_flicker_message != 0 ? g_tray_flicker_message
                                     : platform::RegisterWindowMessageA(kTrayFlickerMessageName);
}

BOOL IsWindowsNT() { return platform::GetVersionPlatformId() == platform::kVerPlatformWin32Nt ? 1 : 0; }

platform::PathBuffer TrayObjectName(std::u16string_view base) {
  platform::PathBuffer name;
  if (IsWindowsNT()) name.Append(u"Global\\");
  name.Append(base);
  return name;
}

}  // namespace qorlog::notify
