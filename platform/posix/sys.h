// The system calls of the POSIX backend that can fail, each in one place:
// retried while a signal interrupts it (RetryOnEintr) and preceded by the
// fault point (platform/fault_point.h). Each behaves as the call it wraps:
// -1 (or a negative count) with errno set on failure. An injected fault sets
// errno to the errno that the error table maps to the chosen code, so it
// takes the path a real failure takes. Internal to the backend.
// Thread rules: as the wrapped calls.
#pragma once

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <utility>

#include "platform/fault_point.h"
#include "platform/native_handle.h"
#include "platform/posix/errno_table.h"

namespace qorlog::platform::posix {

// Calls `call` again while it fails with EINTR (a signal came before it did
// anything). Not for close(): Linux releases the descriptor even when close
// is interrupted, so a second close could hit a descriptor that another
// thread has just been given.
template <typename Call>
auto RetryOnEintr(Call call) {
  decltype(call()) rc;
  do {
    rc = call();
  } while (rc == -1 && errno == EINTR);
  return rc;
}

// The descriptor an owned handle holds.
inline int FdOf(const NativeHandle& handle) { return static_cast<int>(handle.get()); }

namespace internal {
// Fails the call as the plan says: -1 with errno set.
inline int Injected(DWORD error) {
  errno = ErrnoForError(error);
  return -1;
}
}  // namespace internal

// A descriptor of a folder, opened to walk through it or to read its names:
// closed at once without the fault point, so a plan that fails the Nth close
// counts the closes of files only (a folder opened for reading has nothing
// to lose at its close).
class FolderDescriptor {
 public:
  explicit FolderDescriptor(int fd = -1) : fd_(fd) {}
  ~FolderDescriptor() { Reset(-1); }
  FolderDescriptor(const FolderDescriptor&) = delete;
  FolderDescriptor& operator=(const FolderDescriptor&) = delete;
  int get() const { return fd_; }
  bool IsValid() const { return fd_ >= 0; }
  void Reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  int Release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

// open(2). On success the caller owns the descriptor: wrap it in a
// NativeHandle at once.
inline int Open(const char* path, int flags, mode_t mode = 0) {
  if (auto f = fault::Check(fault::Call::kOpen); f.error != 0) [[unlikely]] return internal::Injected(f.error);
  return RetryOnEintr([&] { return ::open(path, flags, mode); });
}

// openat(2) of a file inside an open folder, with the fault point of Open.
inline int OpenAt(int folder, const char* name, int flags, mode_t mode = 0) {
  if (auto f = fault::Check(fault::Call::kOpen); f.error != 0) [[unlikely]] return internal::Injected(f.error);
  return RetryOnEintr([&] { return ::openat(folder, name, flags, mode); });
}

inline ssize_t PRead(int fd, void* buffer, std::size_t count, off_t offset) {
  if (auto f = fault::Check(fault::Call::kRead); f.error != 0 || f.cut) [[unlikely]] {
    if (f.error != 0) return internal::Injected(f.error);
    count = std::min<std::size_t>(count, f.limit);
    if (count == 0) return 0;
  }
  return RetryOnEintr([&] { return ::pread(fd, buffer, count, offset); });
}

inline ssize_t PWrite(int fd, const void* buffer, std::size_t count, off_t offset) {
  if (auto f = fault::Check(fault::Call::kWrite); f.error != 0 || f.cut) [[unlikely]] {
    if (f.error != 0) return internal::Injected(f.error);
    count = std::min<std::size_t>(count, f.limit);
    if (count == 0) return 0;
  }
  return RetryOnEintr([&] { return ::pwrite(fd, buffer, count, offset); });
}

inline int FTruncate(int fd, off_t length) {
  if (auto f = fault::Check(fault::Call::kSetLength); f.error != 0) [[unlikely]] return internal::Injected(f.error);
  return RetryOnEintr([&] { return ::ftruncate(fd, length); });
}

inline int Unlink(const char* path) {
  if (auto f = fault::Check(fault::Call::kDelete); f.error != 0) [[unlikely]] return internal::Injected(f.error);
  return ::unlink(path);
}

// link(2): the first step of a rename that refuses an existing target.
inline int Link(const char* from, const char* to) {
  if (auto f = fault::Check(fault::Call::kRename); f.error != 0) [[unlikely]] return internal::Injected(f.error);
  return ::link(from, to);
}

// rename(2): a rename that replaces the target.
inline int Rename(const char* from, const char* to) {
  if (auto f = fault::Check(fault::Call::kRename); f.error != 0) [[unlikely]] return internal::Injected(f.error);
  return ::rename(from, to);
}

inline int MkDir(const char* path, mode_t mode) {
  if (auto f = fault::Check(fault::Call::kCreateFolder); f.error != 0) [[unlikely]] return internal::Injected(f.error);
  return ::mkdir(path, mode);
}

inline int MkDirAt(int folder, const char* name, mode_t mode) {
  if (auto f = fault::Check(fault::Call::kCreateFolder); f.error != 0) [[unlikely]] return internal::Injected(f.error);
  return ::mkdirat(folder, name, mode);
}

// flock(2), waiting (the guards are held for a few system calls only).
inline int Flock(int fd, int operation) {
  if (auto f = fault::Check(fault::Call::kLock); f.error != 0) [[unlikely]] return internal::Injected(f.error);
  return RetryOnEintr([&] { return ::flock(fd, operation); });
}

// fcntl(2) with a struct flock: the open-file-description locks.
inline int FcntlLock(int fd, int command, struct flock* lock) {
  if (auto f = fault::Check(fault::Call::kLock); f.error != 0) [[unlikely]] return internal::Injected(f.error);
  return RetryOnEintr([&] { return ::fcntl(fd, command, lock); });
}

}  // namespace qorlog::platform::posix
