#include "logstore/sorted_string_array.h"

#include <algorithm>

namespace qorlog::inline logstore {

namespace {

char16_t FoldCase(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c; }

}  // namespace

int CompareNoCase(std::u16string_view a, std::u16string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t x = FoldCase(a[i]);
    const char16_t y = FoldCase(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

std::size_t CSortedStringArray::Add(std::u16string text) {
  items_.push_back(std::move(text));
  return items_.size() - 1;
}

void CSortedStringArray::SortAscending() {
  std::stable_sort(items_.begin(), items_.end(),
                   [](const std::u16string& a, const std::u16string& b) { return CompareNoCase(a, b) < 0; });
}

}  // namespace qorlog::logstore
