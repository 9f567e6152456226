#include "platform/errors.h"

#include <cerrno>
#include <string>

#include <sys/stat.h>

namespace qorlog::platform {

namespace {
thread_local DWORD g_last_error = 0;

bool ParentFolderExists(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  const auto slash = path.rfind('/');
  if (slash == std::string_view::npos) return true;  // relative to the working folder
  const std::string parent(slash == 0 ? std::string_view("/") : path.substr(0, slash));
  struct stat st;
  return ::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
}  // namespace

DWORD GetLastError() { return g_last_error; }
void SetLastError(DWORD error) { g_last_error = error; }

DWORD ErrorFromErrno(int err, std::string_view path, ObjectKind kind) {
  switch (err) {
    case 0:
      return kErrorSuccess;
    case ENOENT:
      return !path.empty() && !ParentFolderExists(path) ? kErrorPathNotFound : kErrorFileNotFound;
    case ENOTDIR:
      return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ELOOP:  // a symbolic link where none may be followed
      return kErrorAccessDenied;
    case EEXIST:
      return kind == ObjectKind::kFolder ? kErrorAlreadyExists : kErrorFileExists;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return kErrorDiskFull;
    case ENOMEM:
      return kErrorNotEnoughMemory;
    case EMFILE:
    case ENFILE:
      return kErrorTooManyOpenFiles;
    case ENAMETOOLONG:
      return kErrorFilenameTooLong;
    case EBADF:
      return kErrorInvalidHandle;
    case EINVAL:
      return kErrorInvalidParameter;
    case ENOTEMPTY:
      return kErrorDirNotEmpty;
    case EPIPE:
      return kErrorBrokenPipe;
    case EAGAIN:
      return kErrorLockViolation;
    case ETIMEDOUT:
      return kErrorTimeout;
    default:
      return kErrorGenFailure;
  }
}

}  // namespace qorlog::platform
