// Conversion between UTF-16 and UTF-8, and between UTF-16 and the system's
// ANSI code page, in which the narrow (_A) entries take their text.
// Pure functions, safe from any thread.
#pragma once

#include <string>
#include <string_view>

namespace qorlog::platform {

// Decodes UTF-8. Each byte that does not start or continue a valid sequence
// (overlong forms, surrogates and values above U+10FFFF included) becomes
// U+FFFD; a truncated sequence gives one U+FFFD per byte.
std::u16string Utf8ToUtf16(std::string_view text);
// Encodes UTF-16; a lone surrogate becomes U+FFFD. Every valid UTF-16 text
// round-trips through Utf8ToUtf16.
std::string Utf16ToUtf8(std::u16string_view text);

// The ANSI code page: UTF-8 on POSIX (the two functions above), the code
// page the system calls CP_ACP on Windows. A byte that the code page does not
// map becomes what the system makes of it (U+FFFD for UTF-8); a character
// that it cannot hold becomes the code page's default character.
std::u16string AnsiToUtf16(std::string_view text);
std::string Utf16ToAnsi(std::u16string_view text);

// Length of a NUL-terminated wide string, reading at most `max` code units.
std::size_t WideLength(const char16_t* text, std::size_t max);
// Length of a NUL-terminated narrow string, reading at most `max` bytes.
std::size_t NarrowLength(const char* text, std::size_t max);

// Copies at most capacity-1 code units of `text` into `dest` and terminates
// it: the truncating copy into a fixed text field.
void CopyTruncated(char16_t* dest, std::size_t capacity, std::u16string_view text);

}  // namespace qorlog::platform
