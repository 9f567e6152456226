#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <memory>

#include "platform/errors.h"
#include "platform/fs.h"
#include "platform/posix/share_lock.h"
#include "platform/posix/sys.h"
#include "platform/text.h"

namespace qorlog::platform {

namespace {

using posix::ErrorFromErrno;
using posix::FdOf;
using posix::ObjectKind;
namespace share_lock = posix::share_lock;


// Runs `op` on `path` once no handle holds the file open. The guard stays held
// across `op`, so no new handle can slip in between the check and the change.
template <typename Op>
DWORD WithUnusedFile(const std::string& native, Op op) {
  NativeHandle holder(posix::Open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY));
  if (!holder.IsValid()) {
    // A symbolic link, or a file we may not read: no handle of ours can hold it.
    if (errno == ELOOP || errno == EACCES) return op();
    return ErrorFromErrno(errno, native);
  }
  const int fd = FdOf(holder);
  struct stat st;
  if (fstat(fd, &st) != 0) return ErrorFromErrno(errno, native);
  if (S_ISDIR(st.st_mode)) return kErrorAccessDenied;
  if (int err = share_lock::LockGuard(fd); err != 0) return ErrorFromErrno(err, native);
  DWORD result;
  if (const int busy = share_lock::TakeIfUnused(fd); busy != 0) {
    result = ErrorFromErrno(busy, native);  // EAGAIN: someone holds it (32)
  } else {
    // Make sure the name still refers to the file we checked.
    struct stat now;
    if (::lstat(native.c_str(), &now) != 0) {
      result = ErrorFromErrno(errno, native);
    } else if (now.st_dev != st.st_dev || now.st_ino != st.st_ino) {
      result = kErrorSharingViolation;
    } else {
      result = op();
    }
  }
  share_lock::UnlockGuard(fd);
  return result;
}

DWORD Report(DWORD err) {
  if (err != 0) SetLastError(err);
  return err;
}

}  // namespace

DWORD CreateFolder(std::u16string_view path) {
  const std::string native = Utf16ToUtf8(path);
  if (posix::MkDir(native.c_str(), 0777) == 0) return kErrorSuccess;
  return Report(ErrorFromErrno(errno, native, ObjectKind::kFolder));
}

bool SetAttributesNormal(std::u16string_view path) {
  const std::string native = Utf16ToUtf8(path);
  struct stat st;
  if (::lstat(native.c_str(), &st) != 0) {
    SetLastError(ErrorFromErrno(errno, native));
    return false;
  }
  if (S_ISLNK(st.st_mode) || (st.st_mode & S_IWUSR)) return true;
  if (::chmod(native.c_str(), (st.st_mode & 07777) | S_IWUSR) != 0) {
    SetLastError(ErrorFromErrno(errno, native));
    return false;
  }
  return true;
}

DWORD DeleteFileNamed(std::u16string_view path) {
  const std::string native = Utf16ToUtf8(path);
  return Report(WithUnusedFile(native, [&]() -> DWORD {
    return posix::Unlink(native.c_str()) == 0 ? kErrorSuccess : ErrorFromErrno(errno, native);
  }));
}

DWORD MoveFileNamed(std::u16string_view from, std::u16string_view to) {
  const std::string src = Utf16ToUtf8(from);
  const std::string dst = Utf16ToUtf8(to);
  return Report(WithUnusedFile(src, [&]() -> DWORD {
    // link + unlink refuses an existing target, as a Windows rename does.
    if (posix::Link(src.c_str(), dst.c_str()) != 0) return ErrorFromErrno(errno, dst);
    if (posix::Unlink(src.c_str()) != 0) {
      const DWORD e = ErrorFromErrno(errno, src);
      ::unlink(dst.c_str());
      return e;
    }
    return kErrorSuccess;
  }));
}

DWORD ReplaceFileNamed(std::u16string_view from, std::u16string_view to) {
  const std::string src = Utf16ToUtf8(from);
  const std::string dst = Utf16ToUtf8(to);
  // The target is checked (and its guard held) like a file to be deleted;
  // a missing target is simply created by the rename.
  auto replace = [&]() -> DWORD {
    return posix::Rename(src.c_str(), dst.c_str()) == 0 ? kErrorSuccess : ErrorFromErrno(errno, dst);
  };
  const DWORD err = WithUnusedFile(dst, replace);
  if (err == kErrorFileNotFound) return Report(replace());
  return Report(err);
}

bool PathExists(std::u16string_view path) {
  struct stat st;
  return ::lstat(Utf16ToUtf8(path).c_str(), &st) == 0;
}

bool IsFolder(std::u16string_view path) {
  struct stat st;
  return ::stat(Utf16ToUtf8(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

DWORD FindFiles(std::u16string_view pattern_path, std::vector<FindData>* out) {
  out->clear();
  const std::size_t slash = pattern_path.rfind(kPathSeparator);
  std::u16string folder = slash == std::u16string_view::npos ? u"." : std::u16string(pattern_path.substr(0, slash));
  if (folder.empty()) folder = u"/";
  const std::u16string_view pattern =
      slash == std::u16string_view::npos ? pattern_path : pattern_path.substr(slash + 1);
  const std::string native = Utf16ToUtf8(folder);

  NativeHandle folder_handle(posix::RetryOnEintr([&] { return ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
  if (!folder_handle.IsValid()) {
    return Report(errno == ENOENT || errno == ENOTDIR ? kErrorPathNotFound : ErrorFromErrno(errno, native));
  }
  const int dfd = FdOf(folder_handle);
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(dfd), &::closedir);
  if (!dir) return Report(ErrorFromErrno(errno, native));
  folder_handle.Release();  // the stream owns the descriptor now
  while (struct dirent* entry = ::readdir(dir.get())) {
    std::u16string name = Utf8ToUtf16(entry->d_name);
    if (!MatchesPattern(pattern, name)) continue;
    FindData data;
    data.name = std::move(name);
    struct stat st;
    if (::fstatat(dfd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
      data.is_directory = S_ISDIR(st.st_mode);
      const auto size = static_cast<std::uint64_t>(S_ISREG(st.st_mode) ? st.st_size : 0);
      data.size_high = static_cast<DWORD>(size >> 32);
      data.size_low = static_cast<DWORD>(size);
    } else {
      data.is_directory = entry->d_type == DT_DIR;
    }
    out->push_back(std::move(data));
  }
  if (out->empty()) return Report(kErrorFileNotFound);
  return kErrorSuccess;
}

}  // namespace qorlog::platform
