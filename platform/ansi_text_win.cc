// The ANSI code page on Windows is the system's (CP_ACP), converted by the
// system. The sizes are measured first, then the text converted.
#include <windows.h>

#include <algorithm>
#include <climits>

#include "platform/text.h"

namespace qorlog::platform {

std::u16string AnsiToUtf16(std::string_view text) {
  // Texts here are fields of at most a few KiB; INT_MAX is the system's limit.
  const int in = static_cast<int>(std::min<std::size_t>(text.size(), INT_MAX));
  if (in == 0) return {};
  const int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), in, nullptr, 0);
  std::u16string out(static_cast<std::size_t>(n), u'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), in, reinterpret_cast<wchar_t*>(out.data()), n);
  return out;
}

std::string Utf16ToAnsi(std::u16string_view text) {
  const int in = static_cast<int>(std::min<std::size_t>(text.size(), INT_MAX));
  if (in == 0) return {};
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int n = ::WideCharToMultiByte(CP_ACP, 0, wide, in, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, wide, in, out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace qorlog::platform
