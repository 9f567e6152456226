// What the library shares with the viewer and the tray: the names of the
// registered messages, of the mappings that publish their windows and of the
// tray's presence event, the identifiers of WM_COPYDATA payloads, and the
// message numbers registered when the library is loaded.
// Thread rules: any thread; the message numbers are written once at load.
#pragma once

#include <string_view>

#include "platform/path_buffer.h"
#include "platform/types.h"
#include "platform/window.h"

namespace qorlog::inline notify {

inline constexpr std::string_view kTrayMessageName = "WM_QOR_CONTROL_MESSAGE_TRAY";
inline constexpr std::string_view kTrayFlickerMessageName = "WM_QOR_CONTROL_MESSAGE_TRAY_FLICKER";

// The viewer publishes its window under this name, always without prefix.
inline constexpr std::u16string_view kViewerMappingName = u"QorLogExe_{E876F0EA-054C-4cf0-8178-617843882094}";
// The tray's window mapping and presence event; "Global\" in front on the NT
// family (see TrayObjectName).
inline constexpr std::u16string_view kTrayMappingName = u"QorTray_{E876F0EA-054C-4cf0-8178-617843882094}";
inline constexpr std::u16string_view kTrayEventName = u"D9828F49-40EB-482c-8036-10BFFF230F51";
// A published window handle: the first 8 bytes of the mapping.
inline constexpr std::size_t kWindowMappingSize = 8;

// WM_COPYDATA identifiers to the viewer.
inline constexpr DWORD kViewerText = 200;
inline constexpr DWORD kViewerActivate = 201;
inline constexpr DWORD kViewerSimpleLog = 202;
inline constexpr DWORD kViewerFWLog = 204;
inline constexpr DWORD kViewerPCScanLog = 206;

// TRAY wParam values and tray WM_COPYDATA identifiers.
inline constexpr DWORD kTrayValue = 101;
inline constexpr DWORD kTrayRefresh = 102;
inline constexpr DWORD kTrayPostedValue = 103;
inline constexpr DWORD kTrayUpdate = 104;
inline constexpr DWORD kTrayReset = 110;
inline constexpr DWORD kTrayNewLogFile = 111;
inline constexpr DWORD kTraySimpleLog = 115;
inline constexpr DWORD kTrayFWLog = 117;
inline constexpr DWORD kTrayPCScanLog = 119;

// The registered TRAY and FLICKER message numbers of this process.
platform::UINT TrayMessage();
platform::UINT TrayFlickerMessage();

// 1 on NT-family systems (asked afresh on every call), else 0.
BOOL IsWindowsNT();

// The tray's name for `base`: "Global\" + base on NT-family systems, else
// base; built in a 260-character buffer.
platform::PathBuffer TrayObjectName(std::u16string_view base);

}  // namespace qorlog::notify
