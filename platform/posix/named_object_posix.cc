#include <sys/mman.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/errors.h"
#include "platform/named_object.h"
#include "platform/posix/named_object.h"
#include "platform/posix/session_paths.h"
#include "platform/posix/sys.h"
#include "platform/text.h"

namespace qorlog::platform {

namespace posix {

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

// The holder's lock: shared, on byte 0, owned by the open file description.
int SetHold(int fd, short type) {
  struct flock fl = {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = 0;
  fl.l_len = 1;
  return FcntlLock(fd, F_OFD_SETLK, &fl);
}

// True when a handle other than `fd`'s own description holds the object.
bool AnyHolder(int fd) {
  struct flock fl = {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = 0;
  fl.l_len = 1;
  if (FcntlLock(fd, F_OFD_GETLK, &fl) != 0) return false;
  return fl.l_type != F_UNLCK;
}

// True when `path` still names the file open on `fd`.
bool SameFile(int fd, const std::string& path) {
  struct stat a, b;
  if (::fstat(fd, &a) != 0 || ::lstat(path.c_str(), &b) != 0) return false;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_nlink > 0;
}

// Why no path could be made for `name`: the scope's folder could not be made
// or is not one to trust (planted as a link, another user's, open to others),
// which is access denied, or else the name cannot be an object's.
DWORD NoPathError(std::u16string_view name) {
  return (IsGlobal(name) ? MachineFolder() : SessionFolder()).empty() ? kErrorAccessDenied : kErrorInvalidName;
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
    handle_ = std::move(other.handle_);
    already_existed_ = std::exchange(other.already_existed_, false);
    path_ = std::move(other.path_);
  }
  return *this;
}

DWORD NamedObject::Create(std::u16string_view name, std::string_view kind, std::size_t size) {
  Close();
  const std::string path = NamedObjectPath(name, kind);
  if (path.empty()) return NoPathError(name);
  // Machine-wide objects are readable by every user, so that a process of
  // another user finds them; session objects by the user alone.
  const mode_t mode = IsGlobal(name) ? 0644 : 0600;
  for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
    NativeHandle handle(posix::Open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, mode));
    if (!handle.IsValid()) return ErrorFromErrno(errno, path);
    const int fd = FdOf(handle);
    if (Flock(fd, LOCK_EX) != 0) return ErrorFromErrno(errno, path);
    if (!SameFile(fd, path)) continue;  // a closer removed it between open and guard
    const bool held = AnyHolder(fd);
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0;
    if (ok && !held) {
      // Nobody holds it: a fresh file or one a crashed owner left. Either way
      // it starts empty, so stale data never shows through.
      ok = FTruncate(fd, 0) == 0 && FTruncate(fd, static_cast<off_t>(size)) == 0;
    } else if (ok && st.st_size < static_cast<off_t>(size)) {
      ok = FTruncate(fd, static_cast<off_t>(size)) == 0;
    }
    ok = ok && SetHold(fd, F_RDLCK) == 0;
    const int err = errno;
    Flock(fd, LOCK_UN);
    if (!ok) return ErrorFromErrno(err, path);
    handle_ = std::move(handle);
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
  if (path.empty()) return NoPathError(name);
  for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
    NativeHandle handle(posix::Open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!handle.IsValid()) return errno == ENOENT ? kErrorFileNotFound : ErrorFromErrno(errno, path);
    const int fd = FdOf(handle);
    if (Flock(fd, LOCK_SH) != 0) return ErrorFromErrno(errno, path);
    if (!SameFile(fd, path)) continue;
    if (!AnyHolder(fd)) return kErrorFileNotFound;  // left behind by a process that is gone
    const bool ok = SetHold(fd, F_RDLCK) == 0;
    const int err = errno;
    Flock(fd, LOCK_UN);
    if (!ok) return ErrorFromErrno(err, path);
    handle_ = std::move(handle);
    already_existed_ = true;
    path_ = path;
    return kErrorSuccess;
  }
  return kErrorFileNotFound;
}

void NamedObject::Close() {
  if (!handle_.IsValid()) return;
  const int fd = FdOf(handle_);
  // Drop the hold and, as the last holder, remove the file, in one step
  // under the guard so that no opener sees a half-closed object.
  if (Flock(fd, LOCK_EX) == 0) {
    SetHold(fd, F_UNLCK);
    if (!AnyHolder(fd) && SameFile(fd, path_)) ::unlink(path_.c_str());
  }
  handle_.Close();  // also releases the guard
  already_existed_ = false;
  path_.clear();
}

}  // namespace posix

// ---- FileMapping -------------------------------------------------------------

struct FileMapping::Impl {
  posix::NamedObject object;
  void* view = nullptr;
  std::size_t size = 0;

  // Maps the object's first `bytes` bytes; 0 or the error (the object is
  // then closed).
  DWORD Map(std::size_t bytes, int protection) {
    void* mem = ::mmap(nullptr, bytes, protection, MAP_SHARED, object.fd(), 0);
    if (mem == MAP_FAILED) {
      const DWORD rc = posix::ErrorFromErrno(errno);
      object.Close();
      return rc;
    }
    view = mem;
    size = bytes;
    return kErrorSuccess;
  }
};

FileMapping::FileMapping() : impl_(std::make_unique<Impl>()) {}
FileMapping::~FileMapping() { Close(); }

DWORD FileMapping::Create(std::u16string_view name, std::size_t size) {
  Close();
  if (size == 0) return kErrorInvalidParameter;
  if (DWORD rc = impl_->object.Create(name, "map", size); rc != 0) return rc;
  return impl_->Map(size, PROT_READ | PROT_WRITE);
}

DWORD FileMapping::OpenForRead(std::u16string_view name, std::size_t size) {
  Close();
  if (size == 0) return kErrorInvalidParameter;
  if (DWORD rc = impl_->object.Open(name, "map"); rc != 0) return rc;
  // Mapping past the end of the file would fault on the first read.
  struct stat st;
  if (::fstat(impl_->object.fd(), &st) != 0 || st.st_size < static_cast<off_t>(size)) {
    impl_->object.Close();
    return kErrorInvalidParameter;
  }
  return impl_->Map(size, PROT_READ);
}

void FileMapping::Close() {
  if (impl_->view != nullptr) ::munmap(impl_->view, impl_->size);
  impl_->view = nullptr;
  impl_->size = 0;
  impl_->object.Close();
}

bool FileMapping::already_existed() const { return impl_->object.already_existed(); }
void* FileMapping::data() const { return impl_->view; }
std::size_t FileMapping::size() const { return impl_->size; }

// ---- NamedEvent --------------------------------------------------------------

struct NamedEvent::Impl {
  posix::NamedObject object;
};

NamedEvent::NamedEvent() : impl_(std::make_unique<Impl>()) {}
NamedEvent::~NamedEvent() = default;

DWORD NamedEvent::Create(std::u16string_view name) { return impl_->object.Create(name, "event", 0); }
DWORD NamedEvent::Open(std::u16string_view name) { return impl_->object.Open(name, "event"); }
void NamedEvent::Close() { impl_->object.Close(); }
bool NamedEvent::already_existed() const { return impl_->object.already_existed(); }
bool NamedEvent::is_open() const { return impl_->object.is_open(); }

}  // namespace qorlog::platform
