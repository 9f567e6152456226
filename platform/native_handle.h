// An owned handle of the operating system: a file descriptor on POSIX, a
// HANDLE on Windows. Code above the platform never looks inside; the
// backends keep theirs in one. The handle is closed with its owner; the
// object is move-only, so exactly one owner closes it.
// Thread rules: one object is used by one thread at a time.
#pragma once

#include <cstdint>
#include <utility>

#include "platform/types.h"

namespace qorlog::platform {

class NativeHandle {
 public:
  using Value = std::intptr_t;
  // No handle (-1 is also INVALID_HANDLE_VALUE).
  static constexpr Value kInvalid = -1;

  NativeHandle() = default;
  explicit NativeHandle(Value value) : value_(value) {}
  ~NativeHandle() { Close(); }
  NativeHandle(NativeHandle&& other) noexcept : value_(other.Release()) {}
  NativeHandle& operator=(NativeHandle&& other) noexcept {
    if (this != &other) {
      Close();
      value_ = other.Release();
    }
    return *this;
  }
  NativeHandle(const NativeHandle&) = delete;
  NativeHandle& operator=(const NativeHandle&) = delete;

  bool IsValid() const { return value_ != kInvalid; }
  Value get() const { return value_; }
  // Gives up ownership without closing.
  Value Release() { return std::exchange(value_, kInvalid); }

  // Closes the handle; afterwards the object holds none, also when the close
  // failed (a close is never retried: the system has released the handle
  // either way). 0, or the system error code of the failed close; 0 when
  // there was no handle.
  DWORD Close();

 private:
  Value value_ = kInvalid;
};

}  // namespace qorlog::platform
