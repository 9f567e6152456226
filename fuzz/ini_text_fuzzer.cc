// Feeds arbitrary text to the settings parser and checks what must hold for
// any input: stored names and keys are folded, nothing stored holds a line
// feed, and the rebuilt text parses back to the same document where the
// text format can express it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "settings/ini_document.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

bool HasUpper(const std::u16string& s) {
  return std::any_of(s.begin(), s.end(), [](char16_t c) { return c >= u'A' && c <= u'Z'; });
}

// True when the text begins or ends with a blank or a double quote.
bool Outer(const std::u16string& s) {
  if (s.empty()) return false;
  auto edge = [](char16_t c) { return c == u'"' || c == u' ' || (c >= u'\t' && c <= u'\r'); };
  return edge(s.front()) || edge(s.back());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Take the bytes as UTF-16 code units, so that every code unit (lone
  // surrogates included) reaches the parser.
  std::u16string text(size / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
  }

  qorlog::CIniDocument doc;
  doc.SetText(text);
  for (const auto& [section, keys] : doc.sections()) {
    Check(!HasUpper(section));
    for (const auto& [key, value] : keys) {
      Check(!HasUpper(key));
      Check(value.find(u'\n') == std::u16string::npos);
      Check(doc.GetString(section, key, u"\x1") == value);
    }
  }

  // The rebuilt text writes names and values without quotes, so a section
  // name with outer blanks or quotes, a leading '[' (possible after blanks:
  // "[ [x]") or a ']' does not survive it, nor does a value with outer blanks
  // or quotes. Everything else must come back unchanged.
  bool names_survive = true;
  for (const auto& [section, keys] : doc.sections()) {
    if (section.find(u']') != std::u16string::npos || Outer(section) || (!section.empty() && section.front() == u'[')) {
      names_survive = false;
    }
  }
  if (names_survive) {
    qorlog::CIniDocument again;
    again.SetText(doc.BuildText());
    Check(again.sections().size() == doc.sections().size());
    for (const auto& [section, keys] : doc.sections()) {
      Check(again.sections().at(section).size() == keys.size());
      for (const auto& [key, value] : keys) {
        if (!Outer(value)) Check(again.GetString(section, key, u"\x1") == value);
      }
    }
  }
  return 0;
}
