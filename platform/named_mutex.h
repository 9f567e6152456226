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
// The primitive: a robust, process-shared, recursive pthread mutex in a small
// file of the session folder (SessionFolder()), mapped shared by every
// process that opens the name. An uncontended wait and release are a futex
// word change in user space, with no system call. The first opener
// initialises the mutex under an flock() on the file, so two processes that
// open the name at once cannot both initialise it.
//
// The traps: a robust mutex is freed by the kernel when its owning thread
// ends, but only the next locker learns of it (EOWNERDEAD) and must mark it
// consistent before releasing, or the mutex becomes unusable for everyone;
// Wait() does so at once. The futex word holds the owner's thread id: a file
// that outlives a reboot (a session folder on disk rather than tmpfs) could
// name a thread id that a new, unrelated thread now has, so the file records
// the boot id and is re-initialised when it was written in an earlier boot.
// The kernel frees a dead owner's mutex by walking that thread's robust list,
// which points into the mapping: were the mapping gone (unmapped while a
// thread owns the mutex, e.g. by a handle closed before the thread ends), the
// mutex would stay locked for ever. So each process maps a mutex file once,
// shares that mapping among all its handles of the name, and never unmaps it
// (one page per name for the life of the process). The file is never deleted
// or truncated once initialised either: a process that mapped an old file and
// one that made a new one would not exclude each other.
//
// Thread rules: one NamedMutex object may be waited on and released from any
// number of threads; ownership is per thread.
#pragma once

#include <string>
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
  // processes, and the process keeps its mapping (see above).
  void Close();

  // The file in which the mutex of `name` lives: the session folder, then
  // "mutex-" and the name with every character outside [A-Za-z0-9._-]
  // written as %XXXX. Empty when there is no session folder.
  static std::string FilePathFor(std::u16string_view name);

  // The mapped block; defined in the backend.
  struct Shared;

 private:
  Shared* shared_ = nullptr;
};

}  // namespace qorlog::platform
