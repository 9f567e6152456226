#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "platform/errors.h"
#include "platform/posix/errno_table.h"

namespace qorlog::platform::posix {

namespace {

struct Mapping {
  int err;
  DWORD code;
};

// errno to code; ENOENT and EEXIST depend on more than errno (see
// ErrorFromErrno). The first row of a code is the errno an injected fault
// of that code raises.
constexpr Mapping kTable[] = {
    {ENOENT, kErrorFileNotFound},
    {ENOTDIR, kErrorPathNotFound},
    {EACCES, kErrorAccessDenied},
    {EPERM, kErrorAccessDenied},
    {EROFS, kErrorAccessDenied},
    {EISDIR, kErrorAccessDenied},
    {ELOOP, kErrorAccessDenied},  // a symbolic link where none may be followed
    {EEXIST, kErrorFileExists},
    {ENOSPC, kErrorDiskFull},
    {EDQUOT, kErrorDiskFull},
    {EFBIG, kErrorDiskFull},
    {ENOMEM, kErrorNotEnoughMemory},
    {EMFILE, kErrorTooManyOpenFiles},
    {ENFILE, kErrorTooManyOpenFiles},
    {ENAMETOOLONG, kErrorFilenameTooLong},
    {EBADF, kErrorInvalidHandle},
    {EINVAL, kErrorInvalidParameter},
    {ENOTEMPTY, kErrorDirNotEmpty},
    {EPIPE, kErrorBrokenPipe},
    {EAGAIN, kErrorSharingViolation},  // a lock held by another handle
    {ETIMEDOUT, kErrorTimeout},
    {EIO, kErrorGenFailure},
};

bool ParentFolderExists(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  const auto slash = path.rfind('/');
  if (slash == std::string_view::npos) return true;  // relative to the working folder
  const std::string parent(slash == 0 ? std::string_view("/") : path.substr(0, slash));
  struct stat st;
  return ::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

DWORD ErrorFromErrno(int err, std::string_view path, ObjectKind kind) {
  if (err == 0) return kErrorSuccess;
  if (err == ENOENT && !path.empty() && !ParentFolderExists(path)) return kErrorPathNotFound;
  if (err == EEXIST && kind == ObjectKind::kFolder) return kErrorAlreadyExists;
  for (const Mapping& m : kTable) {
    if (m.err == err) return m.code;
  }
  return kErrorGenFailure;
}

int ErrnoForError(DWORD code) {
  if (code == kErrorAlreadyExists) return EEXIST;
  for (const Mapping& m : kTable) {
    if (m.code == code) return m.err;
  }
  return EIO;
}

}  // namespace qorlog::platform::posix
