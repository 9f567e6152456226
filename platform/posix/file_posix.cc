#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "platform/errors.h"
#include "platform/file.h"
#include "platform/folder.h"
#include "platform/posix/share_lock.h"
#include "platform/posix/sys.h"
#include "platform/text.h"

namespace qorlog::platform {

namespace {

using posix::FdOf;
namespace share_lock = posix::share_lock;

share_lock::Claim ClaimFor(unsigned flags) {
  share_lock::Claim c;
  const unsigned access = flags & 0x3;
  c.read = access == File::modeRead || access == File::modeReadWrite;
  c.write = access == File::modeWrite || access == File::modeReadWrite;
  switch (flags & 0x70) {
    case File::shareDenyNone:
      break;
    case File::shareDenyRead:
      c.deny_read = true;
      break;
    case File::shareDenyWrite:
      c.deny_write = true;
      break;
    default:  // shareExclusive and shareCompat
      c.deny_read = c.deny_write = true;
      break;
  }
  return c;
}

[[noreturn]] void ThrowErrno(int err, const std::u16string& path) {
  throw FileException::FromOsError(posix::ErrorFromErrno(err), path);
}

[[noreturn]] void ThrowClosed(const std::u16string& path) {
  throw FileException(FileException::invalidFile, kErrorInvalidHandle, path);
}

}  // namespace

File::~File() { Close(); }

bool File::Open(std::u16string_view path, unsigned flags, DWORD* error) {
  return OpenRelative(nullptr, path, path, flags, error);
}

bool File::OpenIn(const Folder& folder, std::u16string_view name, unsigned flags, DWORD* error) {
  if (!folder.IsOpen()) return Open(folder.PathOf(name), flags, error);
  return OpenRelative(&folder.handle(), folder.PathOf(name), name, flags, error);
}

bool File::OpenRelative(const NativeHandle* folder, std::u16string_view path, std::u16string_view name,
                        unsigned flags, DWORD* error) {
  Close();
  const int at = folder != nullptr ? FdOf(*folder) : AT_FDCWD;
  const std::string native = Utf16ToUtf8(name);
  // Inside an open folder a missing file is "not found" (2): the folder is there.
  const std::string error_path = folder != nullptr ? std::string() : native;
  const share_lock::Claim claim = ClaimFor(flags);
  // Shared marker locks need read access, so every handle can read.
  int oflags = O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | (claim.write ? O_RDWR : O_RDONLY);
  if (flags & modeCreate) oflags |= O_CREAT;
  if (flags & modeCreateNew) oflags |= O_CREAT | O_EXCL;

  auto fail = [&](DWORD code) {
    if (error != nullptr) *error = code;
    SetLastError(code);
    return false;
  };

  // An exclusive writer takes its markers in one step, without the guard.
  const bool exclusive = share_lock::IsExclusiveWriter(claim);
  // Retries only when a deleter unlinked the path between our open and our
  // markers (or guard).
  for (int attempt = 0; attempt < 8; ++attempt) {
    NativeHandle handle(posix::OpenAt(at, native.c_str(), oflags, 0666));
    if (!handle.IsValid()) return fail(posix::ErrorFromErrno(errno, error_path));
    const int fd = FdOf(handle);

    int err = exclusive ? share_lock::TakeExclusive(fd) : share_lock::LockGuard(fd);
    if (err != 0) return fail(posix::ErrorFromErrno(err, error_path));  // closing drops any markers taken
    struct stat st;
    if (fstat(fd, &st) != 0) return fail(posix::ErrorFromErrno(errno, error_path));  // the guard goes with the handle
    if (S_ISDIR(st.st_mode)) return fail(kErrorAccessDenied);
    if (st.st_nlink == 0) continue;
    if (!exclusive) {
      err = share_lock::TakeClaim(fd, claim);
      if (err == 0) err = share_lock::CheckConflicts(fd, claim);
    }
    if (err == 0 && (flags & modeCreate) && !(flags & modeNoTruncate) && st.st_size != 0) {
      if (posix::FTruncate(fd, 0) != 0) err = errno;
    }
    if (!exclusive) share_lock::UnlockGuard(fd);
    if (err != 0) return fail(posix::ErrorFromErrno(err, error_path));
    handle_ = std::move(handle);
    flags_ = flags;
    position_ = 0;
    path_.assign(path);
    length_known_ = claim.deny_write;
    length_ = (flags & modeCreate) && !(flags & modeNoTruncate) ? 0 : static_cast<std::uint64_t>(st.st_size);
    return true;
  }
  return fail(kErrorFileNotFound);
}

bool File::RelaxShare(unsigned share, DWORD* error) {
  auto fail = [&](DWORD code) {
    if (error != nullptr) *error = code;
    SetLastError(code);
    return false;
  };
  if (!IsOpen()) return fail(kErrorInvalidHandle);
  const unsigned access = flags_ & 0x3;
  const share_lock::Claim from = ClaimFor(flags_);
  const share_lock::Claim to = ClaimFor(access | (share & 0x70));
  if ((to.deny_read && !from.deny_read) || (to.deny_write && !from.deny_write)) {
    return fail(kErrorInvalidParameter);
  }
  if (int err = share_lock::Relax(FdOf(handle_), from, to); err != 0) return fail(posix::ErrorFromErrno(err));
  flags_ = (flags_ & ~0x70u) | (share & 0x70);
  length_known_ = length_known_ && to.deny_write;
  return true;
}

DWORD File::Close() {
  position_ = 0;
  length_known_ = false;
  return handle_.Close();
}

std::uint32_t File::Read(void* buffer, std::uint32_t count) {
  if (!IsOpen()) ThrowClosed(path_);
  auto* out = static_cast<char*>(buffer);
  // While no one else can write, the file ends where this handle knows it
  // does: a read up to there needs no further call to find the end.
  if (length_known_) count = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, length_ - std::min(length_, position_)));
  std::uint32_t done = 0;
  while (done < count) {
    const ssize_t n = posix::PRead(FdOf(handle_), out + done, count - done, static_cast<off_t>(position_ + done));
    if (n < 0) ThrowErrno(errno, path_);
    if (n == 0) break;
    done += static_cast<std::uint32_t>(n);
  }
  position_ += done;
  return done;
}

void File::Write(const void* buffer, std::uint32_t count) {
  if (!IsOpen()) ThrowClosed(path_);
  const auto* in = static_cast<const char*>(buffer);
  std::uint32_t done = 0;
  while (done < count) {
    const ssize_t n = posix::PWrite(FdOf(handle_), in + done, count - done, static_cast<off_t>(position_ + done));
    if (n < 0) {
      position_ += done;
      length_ = std::max(length_, position_);
      // The descriptor is the File's own and open, so EBADF means it was
      // opened without write access, which Windows calls access denied.
      ThrowErrno(errno == EBADF ? EACCES : errno, path_);
    }
    done += static_cast<std::uint32_t>(n);
  }
  position_ += done;
  length_ = std::max(length_, position_);
}

std::uint64_t File::GetLength() const {
  if (!IsOpen()) ThrowClosed(path_);
  if (length_known_) return length_;
  struct stat st;
  if (fstat(FdOf(handle_), &st) != 0) ThrowErrno(errno, path_);
  return static_cast<std::uint64_t>(st.st_size);
}

void File::SetLength(std::uint64_t length) {
  if (!IsOpen()) ThrowClosed(path_);
  if (posix::FTruncate(FdOf(handle_), static_cast<off_t>(length)) != 0) ThrowErrno(errno, path_);
  length_ = length;
}

}  // namespace qorlog::platform
