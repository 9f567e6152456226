#include "settings/ini_text.h"

#include <limits>

#include "platform/ini_line.h"

namespace qorlog::settings {

std::u16string FoldLower(std::u16string_view text) { return platform::FoldAsciiLower(text); }

namespace {

std::u16string_view TrimLeft(std::u16string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsIniSpace(text[i])) ++i;
  return text.substr(i);
}

}  // namespace

std::vector<std::u16string> SplitSettingsLines(std::u16string_view text) {
  std::vector<std::u16string> lines;
  auto keep = [&lines](std::u16string_view line) {
    while (!line.empty() && (line.back() == u'\r' || line.back() == u'\n')) line.remove_suffix(1);
    if (!line.empty()) lines.emplace_back(line);
  };
  while (!text.empty()) {
    const std::size_t lf = text.find(u'\n');
    if (lf == std::u16string_view::npos) {
      keep(text);
      break;
    }
    keep(text.substr(0, lf));
    text.remove_prefix(lf + 1);
  }
  return lines;
}

int32_t DecimalToInt(std::u16string_view text) {
  text = TrimLeft(text);
  bool negative = false;
  if (!text.empty() && (text.front() == u'+' || text.front() == u'-')) {
    negative = text.front() == u'-';
    text.remove_prefix(1);
  }
  // Accumulate as a magnitude and stop growing once past the range, so that
  // long digit runs cannot overflow.
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  int64_t magnitude = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') break;
    if (magnitude <= kLimit) magnitude = magnitude * 10 + (c - u'0');
  }
  if (negative) return magnitude >= kLimit ? std::numeric_limits<int32_t>::min()
                                           : static_cast<int32_t>(-magnitude);
  return magnitude >= kLimit ? std::numeric_limits<int32_t>::max()
                             : static_cast<int32_t>(magnitude);
}

}  // namespace qorlog::settings
