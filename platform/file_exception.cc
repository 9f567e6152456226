// The file error and the portable part of File (the position).
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

// The position is the File's own (reads and writes pass it to the system),
// so seeking is arithmetic, the same on every system.
std::uint64_t File::Seek(std::int64_t offset, SeekPosition from) {
  if (!IsOpen()) throw FileException(FileException::invalidFile, kErrorInvalidHandle, path_);
  std::int64_t base = 0;
  if (from == current) base = static_cast<std::int64_t>(position_);
  if (from == end) base = static_cast<std::int64_t>(GetLength());
  const std::int64_t target = base + offset;
  if (target < 0) throw FileException(FileException::badSeek, kErrorInvalidParameter, path_);
  position_ = static_cast<std::uint64_t>(target);
  return position_;
}

}  // namespace qorlog::platform
