// narrow_text.h - conversion between the module's wide (UTF-16) text and
// the narrow code page: the platform's codec (platform/text.h), under the
// names the crypto module uses.
//
// Thread rules: pure functions.
#pragma once

#include <string>
#include <string_view>

#include "platform/text.h"

namespace qorlog::crypto_internal {

// UTF-16 to the narrow code page. A lone surrogate becomes U+FFFD. Throws
// std::bad_alloc.
inline std::string WideToNarrow(std::u16string_view text) { return platform::Utf16ToUtf8(text); }
// The narrow code page to UTF-16; each byte that does not start or continue
// a valid sequence becomes U+FFFD. Throws std::bad_alloc.
inline std::u16string NarrowToWide(std::string_view text) { return platform::Utf8ToUtf16(text); }

}  // namespace qorlog::crypto_internal
