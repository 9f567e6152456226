#include "platform/file.h"

#include <cstdio>

#include "platform/errors.h"
#include "platform/text.h"

namespace qorlog::platform {

FileException::FileException(Cause cause, DWORD os_error, std::u16string path)
    : cause_(cause), os_error_(os_error), path_(std::move(path)) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "file error (cause %d, system error %u)", static_cast<int>(cause_),
                static_cast<unsigned>(os_error_));
  message_ = buf;
  if (!path_.empty()) message_ += ": " + Utf16ToUtf8(path_);
}

FileException FileException::FromOsError(DWORD os_error, std::u16string path) {
  Cause cause;
  switch (os_error) {
    case kErrorSuccess:
      cause = none;
      break;
    case kErrorFileNotFound:
      cause = fileNotFound;
      break;
    case kErrorPathNotFound:
    case kErrorInvalidName:
    case kErrorFilenameTooLong:
      cause = badPath;
      break;
    case kErrorTooManyOpenFiles:
      cause = tooManyOpenFiles;
      break;
    case kErrorAccessDenied:
    case kErrorFileExists:
    case kErrorAlreadyExists:
      cause = accessDenied;
      break;
    case kErrorInvalidHandle:
      cause = invalidFile;
      break;
    case kErrorSharingViolation:
      cause = sharingViolation;
      break;
    case kErrorLockViolation:
      cause = lockViolation;
      break;
    case kErrorDiskFull:
      cause = diskFull;
      break;
    case kErrorHandleEof:
      cause = endOfFile;
      break;
    case kErrorInvalidParameter:
      cause = badSeek;
      break;
    default:
      cause = genericException;
      break;
  }
  return FileException(cause, os_error, std::move(path));
}

}  // namespace qorlog::platform
