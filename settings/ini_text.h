// Character rules of the settings text: white space, ASCII case folding,
// splitting into lines, and the decimal conversion that integer values use.
// (The rules of one line: platform/ini_line.h.) Pure functions, safe from
// any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qorlog::settings {

// Space, tab, line feed, vertical tab, form feed and carriage return.
constexpr bool IsIniSpace(char16_t c) {
  return c == u' ' || (c >= u'\t' && c <= u'\r');
}

// Folds ASCII 'A'-'Z' to 'a'-'z'; every other code unit stays.
std::u16string FoldLower(std::u16string_view text);


// Splits at line feeds, strips trailing CR and LF from each line and keeps
// the lines that are then non-empty, in order.
std::vector<std::u16string> SplitSettingsLines(std::u16string_view text);

// Leading white space, an optional sign, then decimal digits up to the first
// other character; no digits give 0. Values beyond the 32-bit range saturate.
int32_t DecimalToInt(std::u16string_view text);

}  // namespace qorlog::settings
