// A mutex that threads and processes of the user's session share by name: the
// stand-in for a Windows named mutex (create or open, wait without time limit,
// release, close).
//
// The promise: at most one thread of all processes of the session owns the
// mutex of a given name at a time. A thread that owns it and ends (or whose
// process dies) without releasing it frees it; the next thread that gets it is
// told so once, with kWaitAbandoned, and owns it like after a normal wait. A
// mutex that could not be created or opened is a null handle; every wait on
// it fails with kWaitFailed. As on Windows, the owning thread may wait again
// and must release once per successful wait.
//
// (How the POSIX backend keeps it, and its traps: platform/posix/named_mutex_posix.cc.)
//
// Thread rules: one NamedMutex object may be waited on and released from any
// number of threads; ownership is per thread.
#pragma once

#include <string_view>

#include "platform/types.h"

namespace qorlog::platform {

class NamedMutex {
 public:
  // Results of Wait(), as WaitForSingleObject gives them.
  static constexpr DWORD kWaitObject0 = 0;
  static constexpr DWORD kWaitAbandoned = 128;
  static constexpr DWORD kWaitFailed = 0xFFFFFFFF;

  // A null handle.
  NamedMutex() = default;
  // Creates the mutex of `name`, or opens it when it exists. The result is a
  // null handle when neither is possible (no usable session folder, no
  // memory); the reason is left in GetLastError().
  explicit NamedMutex(std::u16string_view name);
  ~NamedMutex();
  NamedMutex(NamedMutex&& other) noexcept;
  NamedMutex& operator=(NamedMutex&& other) noexcept;
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;

  bool IsNull() const { return shared_ == nullptr; }

  // Waits without time limit: kWaitObject0, kWaitAbandoned (the previous
  // owner ended without releasing; the caller owns it now), or kWaitFailed
  // (null handle, or a mutex that cannot be recovered).
  DWORD Wait();
  // Releases one ownership of the calling thread. False when the calling
  // thread does not own it or the handle is null.
  bool Release();
  // Makes the handle null. The mutex lives on for other handles and
  // processes.
  void Close();

  // The mapped block; defined in the backend.
  struct Shared;

 private:
  Shared* shared_ = nullptr;
};

}  // namespace qorlog::platform
