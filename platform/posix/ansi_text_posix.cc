// The ANSI code page of POSIX systems is UTF-8.
#include "platform/text.h"

namespace qorlog::platform {

std::u16string AnsiToUtf16(std::string_view text) { return Utf8ToUtf16(text); }
std::string Utf16ToAnsi(std::u16string_view text) { return Utf16ToUtf8(text); }

}  // namespace qorlog::platform
