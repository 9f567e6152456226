// Files with Windows open and share modes, and the exception that carries a
// file error.
//
// A File owns one open handle and its share-mode claim; both go away with
// the object, or with the process. Opening never throws; reading, writing and
// seeking throw FileException. A File must not be used by two threads at once;
// different File objects may be used freely from any thread or process.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "platform/native_handle.h"
#include "platform/types.h"

namespace qorlog::platform {

class FileException : public std::exception {
 public:
  // The causes a file error is sorted into.
  enum Cause {
    none = 0,
    genericException,
    fileNotFound,
    badPath,
    tooManyOpenFiles,
    accessDenied,
    invalidFile,
    removeCurrentDir,
    directoryFull,
    badSeek,
    hardIO,
    sharingViolation,
    lockViolation,
    diskFull,
    endOfFile,
  };

  FileException(Cause cause, DWORD os_error, std::u16string path);
  // Builds the exception for a system error code.
  static FileException FromOsError(DWORD os_error, std::u16string path);

  Cause cause() const { return cause_; }
  DWORD os_error() const { return os_error_; }
  const std::u16string& path() const { return path_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  Cause cause_;
  DWORD os_error_;
  std::u16string path_;
  std::string message_;
};

class Folder;

class File {
 public:
  // Open flags: one access mode, one share mode, and optional creation.
  enum OpenFlags : unsigned {
    modeRead = 0x0000,
    modeWrite = 0x0001,
    modeReadWrite = 0x0002,
    shareCompat = 0x0000,  // same as shareExclusive
    shareExclusive = 0x0010,
    shareDenyWrite = 0x0020,
    shareDenyRead = 0x0030,
    shareDenyNone = 0x0040,
    modeNoInherit = 0x0080,  // handles are never inherited anyway
    modeCreate = 0x1000,     // create; truncate an existing file unless modeNoTruncate
    modeNoTruncate = 0x2000,
    // Create a file that does not exist yet; fails with 80 when it does, so
    // an existing file is never truncated or replaced.
    modeCreateNew = 0x10000,
  };
  enum SeekPosition { begin = 0, current = 1, end = 2 };

  File() = default;
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens `path` (UTF-16). Succeeds only when the requested access is allowed
  // by the share mode of every other open handle on the file, and this
  // handle's share mode allows their access, across all processes; otherwise
  // fails with 32. Never follows a symbolic link at the last component and
  // refuses folders (5). On failure returns false, stores the system error
  // code in *error when given, and leaves the object closed.
  bool Open(std::u16string_view path, unsigned flags, DWORD* error = nullptr);
  // Opens the file `name` inside `folder` as Open would open its path (the
  // file's path is folder.PathOf(name)); through the folder's handle when it
  // is open, so the file is the one in the folder that was checked.
  bool OpenIn(const Folder& folder, std::u16string_view name, unsigned flags, DWORD* error = nullptr);

  // Changes the share mode of the open handle to `share` (one of the share*
  // flags) when it denies nothing the current one does not: the denies given
  // up are dropped at once, so openers they kept out may now come in. False,
  // with the system error code in *error when given, for a closed file (6) or
  // a share mode that would deny more (87); the handle is then unchanged.
  bool RelaxShare(unsigned share, DWORD* error = nullptr);

  // Reads up to `count` bytes at the current position; returns the number
  // read (less only at the end of the file).
  std::uint32_t Read(void* buffer, std::uint32_t count);
  // Writes all `count` bytes at the current position.
  void Write(const void* buffer, std::uint32_t count);
  // Moves the position; returns the new position.
  std::uint64_t Seek(std::int64_t offset, SeekPosition from);
  void SeekToBegin() { Seek(0, begin); }
  std::uint64_t SeekToEnd() { return Seek(0, end); }
  std::uint64_t GetPosition() const { return position_; }
  std::uint64_t GetLength() const;
  void SetLength(std::uint64_t length);

  // Closes the file. 0, or the system error code of a close that failed
  // (data written may then not have reached the file); the file is closed
  // either way. Safe to call when closed (0). Callers that abandon the file
  // after another error ignore the result.
  DWORD Close();
  bool IsOpen() const { return handle_.IsValid(); }
  const std::u16string& GetFilePath() const { return path_; }

 private:
  // Opens `name`, relative to `folder` when given, else a path; `path` is the
  // file's whole path, kept for GetFilePath and errors.
  bool OpenRelative(const NativeHandle* folder, std::u16string_view path, std::u16string_view name, unsigned flags,
                    DWORD* error);

  NativeHandle handle_;
  unsigned flags_ = 0;  // the open flags, with the share mode now held
  std::uint64_t position_ = 0;
  // While this handle denies writing to others, no one else can change the
  // file's length: it is the length the open saw, moved by this handle's own
  // writes and SetLength, and needs no system call (a backend may use it).
  bool length_known_ = false;
  std::uint64_t length_ = 0;
  std::u16string path_;
};

}  // namespace qorlog::platform
