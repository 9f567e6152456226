// The named mutex on Windows is the system's own (CreateMutexW): it excludes
// threads and processes, counts recursive waits of its owner, and reports a
// dead owner to the next waiter once (WAIT_ABANDONED), which is the contract
// of named_mutex.h. The session scope is the system's: a plain name is local
// to the session, "Global\" names are machine-wide.
#include <windows.h>

#include <memory>
#include <string>

#include "platform/named_mutex.h"

namespace qorlog::platform {

struct NamedMutex::Shared {
  HANDLE handle;
};

static_assert(NamedMutex::kWaitObject0 == WAIT_OBJECT_0);
static_assert(NamedMutex::kWaitAbandoned == WAIT_ABANDONED);
static_assert(NamedMutex::kWaitFailed == WAIT_FAILED);

NamedMutex::NamedMutex(std::u16string_view name) {
  const std::wstring native(name.begin(), name.end());
  HANDLE handle = ::CreateMutexW(nullptr, FALSE, native.c_str());
  if (handle == nullptr) return;  // the last error says why
  shared_ = std::make_unique<Shared>(Shared{handle}).release();
}

NamedMutex::~NamedMutex() { Close(); }

NamedMutex::NamedMutex(NamedMutex&& other) noexcept : shared_(other.shared_) { other.shared_ = nullptr; }

NamedMutex& NamedMutex::operator=(NamedMutex&& other) noexcept {
  if (this != &other) {
    Close();
    shared_ = other.shared_;
    other.shared_ = nullptr;
  }
  return *this;
}

void NamedMutex::Close() {
  std::unique_ptr<Shared> owned(shared_);
  shared_ = nullptr;
  if (owned) ::CloseHandle(owned->handle);
}

DWORD NamedMutex::Wait() {
  if (shared_ == nullptr) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return kWaitFailed;
  }
  return ::WaitForSingleObject(shared_->handle, INFINITE);
}

bool NamedMutex::Release() { return shared_ != nullptr && ::ReleaseMutex(shared_->handle) != 0; }

}  // namespace qorlog::platform
