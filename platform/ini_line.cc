#include "platform/ini_line.h"

namespace qorlog::platform {

namespace {

bool IsBlank(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

std::u16string_view Trim(std::u16string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::u16string_view StripQuotes(std::u16string_view s) {
  while (!s.empty() && s.front() == u'"') s.remove_prefix(1);
  while (!s.empty() && s.back() == u'"') s.remove_suffix(1);
  return s;
}

}  // namespace

std::u16string FoldAsciiLower(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  }
  return out;
}

IniLine ParseIniLine(std::u16string_view line) {
  IniLine out;
  line = Trim(line);
  if (line.empty() || line.front() == u';') return out;
  if (line.front() == u'[') {
    const std::size_t close = line.find(u']', 1);
    if (close != std::u16string_view::npos) {
      std::u16string_view name = line.substr(0, close);
      while (!name.empty() && name.front() == u'[') name.remove_prefix(1);
      out.kind = IniLine::kSection;
      out.name = FoldAsciiLower(StripQuotes(Trim(name)));
      return out;
    }
  }
  const std::size_t eq = line.find(u'=');
  if (eq == std::u16string_view::npos) return out;
  out.kind = IniLine::kPair;
  out.name = FoldAsciiLower(Trim(line.substr(0, eq)));
  out.value = StripQuotes(Trim(line.substr(eq + 1)));
  return out;
}

}  // namespace qorlog::platform
