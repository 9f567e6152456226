// CSortedStringArray: a growable array of wide strings that sorts itself in
// ascending case-insensitive order, which for dated log file names is the
// order in which the files were started (oldest first).
// Thread rules: one thread per object.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qorlog::inline logstore {

// Compares two wide strings ignoring the case of the ASCII letters (both
// sides folded to lower case); <0, 0 or >0.
int CompareNoCase(std::u16string_view a, std::u16string_view b);

class CSortedStringArray {
 public:
  CSortedStringArray() = default;
  virtual ~CSortedStringArray() = default;

  // Appends at the end; returns the new element's index.
  std::size_t Add(std::u16string text);
  const std::u16string& GetAt(std::size_t index) const { return items_.at(index); }
  void SetAt(std::size_t index, std::u16string text) { items_.at(index) = std::move(text); }
  std::size_t GetSize() const { return items_.size(); }

  // Ascending by CompareNoCase; equal strings keep their order. (A stable
  // sort gives exactly the order of repeated neighbour swaps.)
  void SortAscending();

 private:
  std::vector<std::u16string> items_;
};

}  // namespace qorlog::logstore
