#include <cerrno>
#include <climits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/errors.h"
#include "platform/file.h"
#include "platform/share_lock.h"
#include "platform/text.h"

namespace qorlog::platform {

namespace {

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

void CloseFd(int fd) {
  if (fd >= 0) ::close(fd);
}

}  // namespace

File::~File() { Close(); }

bool File::Open(std::u16string_view path, unsigned flags, DWORD* error) {
  Close();
  const std::string native = Utf16ToUtf8(path);
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

  // Retries only when a deleter unlinked the path between our open and guard.
  for (int attempt = 0; attempt < 8; ++attempt) {
    int fd;
    do {
      fd = ::open(native.c_str(), oflags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return fail(ErrorFromErrno(errno, native));

    if (int err = share_lock::LockGuard(fd); err != 0) {
      CloseFd(fd);
      return fail(ErrorFromErrno(err, native));
    }
    struct stat st;
    if (fstat(fd, &st) != 0) {
      const int err = errno;
      CloseFd(fd);
      return fail(ErrorFromErrno(err, native));
    }
    if (S_ISDIR(st.st_mode)) {
      CloseFd(fd);
      return fail(kErrorAccessDenied);
    }
    if (st.st_nlink == 0) {
      CloseFd(fd);
      continue;
    }
    int err = share_lock::CheckConflicts(fd, claim);
    if (err == 0) err = share_lock::TakeClaim(fd, claim);
    if (err == 0 && (flags & modeCreate) && !(flags & modeNoTruncate) && st.st_size != 0) {
      if (::ftruncate(fd, 0) != 0) err = errno;
    }
    share_lock::UnlockGuard(fd);
    if (err != 0) {
      CloseFd(fd);  // drops any markers taken
      return fail(err == EAGAIN ? kErrorSharingViolation : ErrorFromErrno(err, native));
    }
    fd_ = fd;
    flags_ = flags;
    position_ = 0;
    path_.assign(path);
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
  if (fd_ < 0) return fail(kErrorInvalidHandle);
  const unsigned access = flags_ & 0x3;
  const share_lock::Claim from = ClaimFor(flags_);
  const share_lock::Claim to = ClaimFor(access | (share & 0x70));
  if ((to.deny_read && !from.deny_read) || (to.deny_write && !from.deny_write)) {
    return fail(kErrorInvalidParameter);
  }
  if (int err = share_lock::DropDenies(fd_, from, to); err != 0) return fail(ErrorFromErrno(err));
  flags_ = (flags_ & ~0x70u) | (share & 0x70);
  return true;
}

void File::Close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  position_ = 0;
}

void File::ThrowErrno(int err) const { throw FileException::FromOsError(ErrorFromErrno(err), path_); }

std::uint32_t File::Read(void* buffer, std::uint32_t count) {
  if (fd_ < 0) throw FileException(FileException::invalidFile, kErrorInvalidHandle, path_);
  auto* out = static_cast<char*>(buffer);
  std::uint32_t done = 0;
  while (done < count) {
    const ssize_t n = ::pread(fd_, out + done, count - done, static_cast<off_t>(position_ + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowErrno(errno);
    }
    if (n == 0) break;
    done += static_cast<std::uint32_t>(n);
  }
  position_ += done;
  return done;
}

void File::Write(const void* buffer, std::uint32_t count) {
  if (fd_ < 0) throw FileException(FileException::invalidFile, kErrorInvalidHandle, path_);
  const auto* in = static_cast<const char*>(buffer);
  std::uint32_t done = 0;
  while (done < count) {
    const ssize_t n = ::pwrite(fd_, in + done, count - done, static_cast<off_t>(position_ + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      position_ += done;
      ThrowErrno(errno);
    }
    done += static_cast<std::uint32_t>(n);
  }
  position_ += done;
}

std::uint64_t File::Seek(std::int64_t offset, SeekPosition from) {
  if (fd_ < 0) throw FileException(FileException::invalidFile, kErrorInvalidHandle, path_);
  std::int64_t base = 0;
  if (from == current) base = static_cast<std::int64_t>(position_);
  if (from == end) base = static_cast<std::int64_t>(GetLength());
  const std::int64_t target = base + offset;
  if (target < 0) throw FileException(FileException::badSeek, kErrorInvalidParameter, path_);
  position_ = static_cast<std::uint64_t>(target);
  return position_;
}

std::uint64_t File::GetLength() const {
  if (fd_ < 0) throw FileException(FileException::invalidFile, kErrorInvalidHandle, path_);
  struct stat st;
  if (fstat(fd_, &st) != 0) ThrowErrno(errno);
  return static_cast<std::uint64_t>(st.st_size);
}

void File::SetLength(std::uint64_t length) {
  if (fd_ < 0) throw FileException(FileException::invalidFile, kErrorInvalidHandle, path_);
  if (::ftruncate(fd_, static_cast<off_t>(length)) != 0) ThrowErrno(errno);
}

}  // namespace qorlog::platform
