#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/errors.h"
#include "platform/named_object.h"
#include "platform/system.h"
#include "platform/text.h"

namespace qorlog::platform {

namespace {

constexpr std::u16string_view kGlobalPrefix = u"Global\\";
constexpr std::u16string_view kLocalPrefix = u"Local\\";
// Attempts before a creator or opener gives up racing a closer that keeps
// removing the file under it.
constexpr int kMaxAttempts = 16;

bool StartsWithFolded(std::u16string_view text, std::u16string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char16_t a = text[i], b = prefix[i];
    if (a >= u'A' && a <= u'Z') a += u'a' - u'A';
    if (b >= u'A' && b <= u'Z') b += u'a' - u'A';
    if (a != b) return false;
  }
  return true;
}

bool IsGlobal(std::u16string_view name) { return StartsWithFolded(name, kGlobalPrefix); }

int LockFile(int fd, int op) {
  int rc;
  do {
    rc = ::flock(fd, op);
  } while (rc != 0 && errno == EINTR);
  return rc;
}

// The holder's lock: shared, on byte 0, owned by the open file description.
int SetHold(int fd, short type) {
  struct flock fl = {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = 0;
  fl.l_len = 1;
  return ::fcntl(fd, F_OFD_SETLK, &fl);
}

// True when a handle other than `fd`'s own description holds the object.
bool AnyHolder(int fd) {
  struct flock fl = {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = 0;
  fl.l_len = 1;
  if (::fcntl(fd, F_OFD_GETLK, &fl) != 0) return false;
  return fl.l_type != F_UNLCK;
}

// True when `path` still names the file open on `fd`.
bool SameFile(int fd, const std::string& path) {
  struct stat a, b;
  if (::fstat(fd, &a) != 0 || ::lstat(path.c_str(), &b) != 0) return false;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_nlink > 0;
}

}  // namespace

std::string NamedObjectPath(std::u16string_view name, std::string_view kind) {
  std::string folder;
  if (IsGlobal(name)) {
    name.remove_prefix(kGlobalPrefix.size());
    folder = MachineFolder();
  } else {
    if (StartsWithFolded(name, kLocalPrefix)) name.remove_prefix(kLocalPrefix.size());
    folder = SessionFolder();
  }
  if (name.empty() || name == u"." || name == u".." || name.size() > 200) return {};
  for (char16_t c : name) {
    if (c == u'/' || c == u'\\' || c == 0) return {};
  }
  if (folder.empty()) return {};
  return folder + "/" + Utf16ToUtf8(name) + "." + std::string(kind);
}

NamedObject& NamedObject::operator=(NamedObject&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    already_existed_ = other.already_existed_;
    path_ = std::move(other.path_);
    other.fd_ = -1;
    other.already_existed_ = false;
  }
  return *this;
}

DWORD NamedObject::Create(std::u16string_view name, std::string_view kind, std::size_t size) {
  Close();
  const std::string path = NamedObjectPath(name, kind);
  if (path.empty()) return kErrorInvalidName;
  // Machine-wide objects are readable by every user, so that a process of
  // another user finds them; session objects by the user alone.
  const mode_t mode = IsGlobal(name) ? 0644 : 0600;
  for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, mode);
    if (fd < 0) return ErrorFromErrno(errno, path);
    if (LockFile(fd, LOCK_EX) != 0) {
      const int err = errno;
      ::close(fd);
      return ErrorFromErrno(err, path);
    }
    if (!SameFile(fd, path)) {  // a closer removed it between open and guard
      ::close(fd);
      continue;
    }
    const bool held = AnyHolder(fd);
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0;
    if (ok && !held) {
      // Nobody holds it: a fresh file or one a crashed owner left. Either way
      // it starts empty, so stale data never shows through.
      ok = ::ftruncate(fd, 0) == 0 && ::ftruncate(fd, static_cast<off_t>(size)) == 0;
    } else if (ok && st.st_size < static_cast<off_t>(size)) {
      ok = ::ftruncate(fd, static_cast<off_t>(size)) == 0;
    }
    ok = ok && SetHold(fd, F_RDLCK) == 0;
    const int err = errno;
    LockFile(fd, LOCK_UN);
    if (!ok) {
      ::close(fd);
      return ErrorFromErrno(err, path);
    }
    fd_ = fd;
    already_existed_ = held;
    path_ = path;
    SetLastError(held ? kErrorAlreadyExists : kErrorSuccess);
    return kErrorSuccess;
  }
  return kErrorGenFailure;
}

DWORD NamedObject::Open(std::u16string_view name, std::string_view kind) {
  Close();
  const std::string path = NamedObjectPath(name, kind);
  if (path.empty()) return kErrorInvalidName;
  for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return errno == ENOENT ? kErrorFileNotFound : ErrorFromErrno(errno, path);
    if (LockFile(fd, LOCK_SH) != 0) {
      const int err = errno;
      ::close(fd);
      return ErrorFromErrno(err, path);
    }
    if (!SameFile(fd, path)) {
      ::close(fd);
      continue;
    }
    if (!AnyHolder(fd)) {  // left behind by a process that is gone
      ::close(fd);
      return kErrorFileNotFound;
    }
    const bool ok = SetHold(fd, F_RDLCK) == 0;
    const int err = errno;
    LockFile(fd, LOCK_UN);
    if (!ok) {
      ::close(fd);
      return ErrorFromErrno(err, path);
    }
    fd_ = fd;
    already_existed_ = true;
    path_ = path;
    return kErrorSuccess;
  }
  return kErrorFileNotFound;
}

void NamedObject::Close() {
  if (fd_ < 0) return;
  // Drop the hold and, as the last holder, remove the file, in one step
  // under the guard so that no opener sees a half-closed object.
  if (LockFile(fd_, LOCK_EX) == 0) {
    SetHold(fd_, F_UNLCK);
    if (!AnyHolder(fd_) && SameFile(fd_, path_)) ::unlink(path_.c_str());
  }
  ::close(fd_);  // also releases the guard
  fd_ = -1;
  already_existed_ = false;
  path_.clear();
}

DWORD FileMapping::Create(std::u16string_view name, std::size_t size) {
  Close();
  if (size == 0) return kErrorInvalidParameter;
  if (DWORD rc = object_.Create(name, "map", size); rc != 0) return rc;
  void* view = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, object_.fd(), 0);
  if (view == MAP_FAILED) {
    const DWORD rc = ErrorFromErrno(errno);
    object_.Close();
    return rc;
  }
  view_ = view;
  size_ = size;
  return kErrorSuccess;
}

DWORD FileMapping::OpenForRead(std::u16string_view name, std::size_t size) {
  Close();
  if (size == 0) return kErrorInvalidParameter;
  if (DWORD rc = object_.Open(name, "map"); rc != 0) return rc;
  // Mapping past the end of the file would fault on the first read.
  struct stat st;
  if (::fstat(object_.fd(), &st) != 0 || st.st_size < static_cast<off_t>(size)) {
    object_.Close();
    return kErrorInvalidParameter;
  }
  void* view = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, object_.fd(), 0);
  if (view == MAP_FAILED) {
    const DWORD rc = ErrorFromErrno(errno);
    object_.Close();
    return rc;
  }
  view_ = view;
  size_ = size;
  return kErrorSuccess;
}

void FileMapping::Close() {
  if (view_ != nullptr) ::munmap(view_, size_);
  view_ = nullptr;
  size_ = 0;
  object_.Close();
}

}  // namespace qorlog::platform
