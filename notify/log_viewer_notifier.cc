#include "notify/log_viewer_notifier.h"

#include <string>
#include <vector>

#include "logstore/log_util.h"
#include "notify/notify_names.h"
#include "platform/path_buffer.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "platform/window_publication.h"

namespace qorlog::inline notify {

namespace {

constexpr std::u16string_view kViewerKey = u"SOFTWARE\\VARNOK\\ZEL\\Pellora i";
constexpr std::u16string_view kViewerProgram = u"qorlog";
constexpr DWORD kViewerStartWaitMs = 3000;
// The value is read with this byte limit, terminator included.
constexpr DWORD kInstallPathBytes = 260;

// Splits a command line: blanks separate arguments, double quotes group
// blanks into one and are dropped.
std::vector<std::string> SplitCommandLine(std::u16string_view line) {
  std::vector<std::string> args;
  std::u16string current;
  bool in_quotes = false, have = false;
  for (char16_t c : line) {
    if (c == u'"') {
      in_quotes = !in_quotes;
      have = true;
    } else if ((c == u' ' || c == u'\t') && !in_quotes) {
      if (have) args.push_back(platform::Utf16ToUtf8(current));
      current.clear();
      have = false;
    } else {
      current.push_back(c);
      have = true;
    }
  }
  if (have) args.push_back(platform::Utf16ToUtf8(current));
  return args;
}

std::size_t TextLength(const WCHAR* text) { return std::char_traits<char16_t>::length(text); }

}  // namespace

platform::LRESULT CLogViewerNotifier::NotifySimpleLog(const stSIMPLE_LOG_NOTIFY_W* log) {
  const platform::HWND window = FindOrLaunchViewer();
  if (log == nullptr || window == 0 || !platform::IsWindow(window)) return 0;
  platform::CopyDataStruct cds{kViewerSimpleLog, sizeof *log, log};
  return platform::SendMessageW(window, platform::kWmCopyData, 0, platform::ToLParam(&cds));
}

platform::LRESULT CLogViewerNotifier::NotifyFWLog(const stFW_LOG_W* log) {
  const platform::HWND window = FindOrLaunchViewer();
  if (log == nullptr || window == 0 || !platform::IsWindow(window)) return 0;
  platform::CopyDataStruct cds{kViewerFWLog, sizeof *log, log};
  return platform::SendMessageW(window, platform::kWmCopyData, 0, platform::ToLParam(&cds));
}

platform::LRESULT CLogViewerNotifier::NotifyPCScanLog(const stPC_SCAN_LOG_W* log) {
  const platform::HWND window = FindOrLaunchViewer();
  if (log == nullptr || window == 0 || !platform::IsWindow(window)) return 0;
  platform::CopyDataStruct cds{kViewerPCScanLog, sizeof *log, log};
  return platform::SendMessageW(window, platform::kWmCopyData, 0, platform::ToLParam(&cds));
}

platform::LRESULT CLogViewerNotifier::SendViewerText(const WCHAR* text) {
  if (text == nullptr) return 0;
  const platform::HWND window = FindOrLaunchViewer();
  if (window == 0 || !platform::IsWindow(window)) return 0;
  // The byte count covers the characters and one byte of the terminator.
  platform::CopyDataStruct cds{kViewerText, static_cast<DWORD>(2 * TextLength(text) + 1), text};
  return platform::SendMessageW(window, platform::kWmCopyData, 0, platform::ToLParam(&cds));
}

platform::LRESULT CLogViewerNotifier::SendViewerCommand(const WCHAR* text) {
  if (text != nullptr) return SendViewerText(text);
  const platform::HWND window = FindViewerWindow();
  if (window == 0 || !platform::IsWindow(window)) return 0;
  platform::CopyDataStruct cds{kViewerActivate, 0, nullptr};
  return platform::SendMessageW(window, platform::kWmCopyData, 0, platform::ToLParam(&cds));
}

platform::HWND CLogViewerNotifier::FindOrLaunchViewer() {
  if (const platform::HWND window = FindViewerWindow(); window != 0) return window;
  WCHAR folder[platform::kMaxPath] = {};
  if (!GetViewerInstallPath(folder)) return 0;
  const std::u16string path = JoinPath(folder, std::u16string(kViewerProgram).append(platform::kProgramFileSuffix));
  LaunchProcess(path.c_str(), nullptr, kViewerStartWaitMs, 0, nullptr);
  return FindViewerWindow();
}

platform::HWND CLogViewerNotifier::FindViewerWindow() { return platform::FindPublishedWindow(kViewerMappingName); }

BOOL CLogViewerNotifier::GetViewerInstallPath(WCHAR* buffer) {
  platform::RegistryKey key;
  // The viewer is a 32-bit program: its installer writes the 32-bit view.
  if (key.Open(kViewerKey, platform::kKeyRead | platform::kKeyWow64_32Key) != 0) return 0;
  DWORD type = platform::kRegNone;
  DWORD size = kInstallPathBytes;
  const DWORD rc = key.QueryValue(u"InstallPath", &type, buffer, &size);
  key.Close();
  if (rc != 0) return 0;
  if (type != platform::kRegSz && type != platform::kRegExpandSz && type != platform::kRegMultiSz) return 0;
  if (size < 2 || size % 2 != 0 || size > kInstallPathBytes) return 0;
  return buffer[size / 2 - 1] == 0 ? 1 : 0;
}

BOOL CLogViewerNotifier::LaunchProcess(const WCHAR* path, const WCHAR* arguments, DWORD wait_ms, int show_window,
                                       DWORD* exit_code) {
  if (path == nullptr || *path == 0) return 0;
  // The command line is built as on Windows, in 260 characters, quoted
  // program first; then it is split into the program and its arguments.
  platform::PathBuffer line(u"\"");
  line.Append(std::u16string_view(path, TextLength(path)));
  line.Append(u"\"");
  if (arguments != nullptr) {
    line.Append(u" ");
    line.Append(std::u16string_view(arguments, TextLength(arguments)));
  }
  const std::vector<std::string> argv = SplitCommandLine(line.view());
  if (argv.empty() || argv[0].empty()) return 0;
  const platform::ShowMode show = show_window == 0 ? platform::ShowMode::kHidden : platform::ShowMode::kNormal;
  if (wait_ms == platform::kInfinite) return platform::StartAndWait(argv, show, exit_code) == 0 ? 1 : 0;
  return platform::StartDetached(argv, show, wait_ms, nullptr) == 0 ? 1 : 0;
}

}  // namespace qorlog::notify
