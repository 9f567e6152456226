// A path held in a fixed buffer of kMaxPath UTF-16 code units. Assigning and
// appending cut silently at the end of the buffer (at most kMaxPath - 1 code
// units and a terminator), as every path of the library is built.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace qorlog::platform {

class PathBuffer {
 public:
  PathBuffer() { buf_[0] = 0; }
  explicit PathBuffer(std::u16string_view text) { Assign(text); }

  void Assign(std::u16string_view text) {
    len_ = 0;
    buf_[0] = 0;
    Append(text);
  }
  void Append(std::u16string_view text) {
    const std::size_t n = std::min(text.size(), kMaxPath - 1 - len_);
    std::copy_n(text.data(), n, buf_ + len_);
    len_ += n;
    buf_[len_] = 0;
  }
  // Appends the separator unless the path already ends with one. An empty
  // path does not end with one, so it becomes the bare separator.
  void AppendSeparatorUnlessPresent() {
    if (len_ == 0 || buf_[len_ - 1] != kPathSeparator) Append(std::u16string_view(&kPathSeparator, 1));
  }
  // Appends a separator (unless present) and then `part`.
  void AppendPart(std::u16string_view part) {
    AppendSeparatorUnlessPresent();
    Append(part);
  }
  void Truncate(std::size_t length) {
    if (length < len_) {
      len_ = length;
      buf_[len_] = 0;
    }
  }

  std::u16string_view view() const { return {buf_, len_}; }
  std::u16string str() const { return {buf_, len_}; }
  const char16_t* c_str() const { return buf_; }
  std::size_t size() const { return len_; }
  bool empty() const { return len_ == 0; }

 private:
  char16_t buf_[kMaxPath];
  std::size_t len_ = 0;
};

}  // namespace qorlog::platform
