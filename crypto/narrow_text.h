// narrow_text.h - conversion between the module's wide (UTF-16) text and
// the narrow code page, which is UTF-8 on this platform.
//
// Thread rules: pure functions.
#pragma once

#include <string>
#include <string_view>

namespace qorlog::crypto_internal {

// UTF-16 to UTF-8. A lone surrogate becomes U+FFFD. Throws std::bad_alloc.
std::string WideToNarrow(std::u16string_view text);
// UTF-8 to UTF-16. Each byte that does not start or continue a valid
// sequence (overlong forms, surrogates and values above U+10FFFF included)
// becomes U+FFFD. Throws std::bad_alloc.
std::u16string NarrowToWide(std::string_view text);

}  // namespace qorlog::crypto_internal
