// Folder on POSIX: a descriptor reached by a walk that follows no link below
// the base.
//
// The common case costs one call: openat2 of the whole path with
// RESOLVE_NO_SYMLINKS, right whenever the base holds no link either.
// Otherwise three: open the base (O_PATH, links allowed), one openat2 for
// everything below it, close the base; once the whole-path open failed where
// this went on, the process goes straight to it. The kernel refuses a link
// anywhere in the rest of the path (ELOOP) and O_DIRECTORY a file (ENOTDIR).
// When a folder is missing, or the system has no openat2 (older kernels, or
// a filter that forbids it), the walk goes one component at a time: openat with O_NOFOLLOW | O_DIRECTORY,
// and mkdirat where a component is missing. Components in the middle are
// opened with O_PATH, which needs no read permission, so a folder that may be
// passed but not listed is passed as a path would be.
#include <linux/openat2.h>
#include <sys/syscall.h>

#include <atomic>
#include <cerrno>
#include <string>

#include "platform/errors.h"
#include "platform/folder.h"
#include "platform/posix/folder_listing.h"
#include "platform/posix/sys.h"
#include "platform/text.h"

namespace qorlog::platform {

namespace {

using posix::ErrorFromErrno;

constexpr int kPassFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
constexpr int kListFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

bool IsLinkOrFile(int err) { return err == ELOOP || err == ENOTDIR; }

// openat2 below `base` with no link resolved anywhere in `rest`.
int OpenBelowWithoutLinks(int base, const char* rest, int flags) {
  struct open_how how = {};
  how.flags = static_cast<std::uint64_t>(flags);
  how.resolve = RESOLVE_NO_SYMLINKS;
  return static_cast<int>(posix::RetryOnEintr([&] { return ::syscall(SYS_openat2, base, rest, &how, sizeof how); }));
}

// One component below `parent`, made when missing; never through a link.
int OpenComponent(int parent, const char* name, int flags) {
  int fd = posix::RetryOnEintr([&] { return ::openat(parent, name, flags | O_NOFOLLOW); });
  if (fd >= 0 || errno != ENOENT) return fd;
  // Another process may make it meanwhile: that folder is as good as ours.
  if (posix::MkDirAt(parent, name, 0777) != 0 && errno != EEXIST) return -1;
  return posix::RetryOnEintr([&] { return ::openat(parent, name, flags | O_NOFOLLOW); });
}

// Set once a whole-path open failed where the walk from the base's own open
// then went on: the base holds a link (or there is no openat2), so the
// whole-path open would only fail again.
std::atomic<bool> whole_open_fails{false};

}  // namespace

// The folder's descriptor is closed as the other folder descriptors are.
Folder::~Folder() { posix::FolderDescriptor(static_cast<int>(handle_.Release())); }

DWORD Folder::Open(std::size_t base_size) {
  posix::FolderDescriptor(static_cast<int>(handle_.Release()));
  shared_.reset();
  listed_ = confirmed_ = false;
  std::u16string_view base = std::u16string_view(path_).substr(0, std::min(base_size, path_.size()));
  std::u16string_view rest = std::u16string_view(path_).substr(base.size());
  while (!base.empty() && base.back() == kPathSeparator) base.remove_suffix(1);
  while (!rest.empty() && rest.front() == kPathSeparator) rest.remove_prefix(1);
  const bool rooted = !path_.empty() && path_.front() == kPathSeparator;
  const std::string native_base = base.empty() ? (rooted ? "/" : ".") : Utf16ToUtf8(base);
  const std::string native_rest = Utf16ToUtf8(rest);
  auto fail = [](DWORD code) {
    SetLastError(code);
    return code;
  };

  if (native_rest.empty()) {
    if (base.empty() || CreateFolderTree(base) == 0 || IsFolder(base)) {
      handle_ = NativeHandle(posix::RetryOnEintr([&] { return ::open(native_base.c_str(), kListFlags); }));
    }
    return handle_.IsValid() ? kErrorSuccess : fail(ErrorFromErrno(errno, native_base));
  }

  // No link anywhere in the whole path: then none below the base either.
  const bool whole_tried = !whole_open_fails.load(std::memory_order_relaxed);
  if (whole_tried) {
    // A folder reached this way may be kept open for the next Open of the
    // same path while nothing can have made the path lead elsewhere
    // (posix/folder_listing.h); its read position is then shared.
    const std::string whole = native_base + '/' + native_rest;
    auto walk = [&] { return OpenBelowWithoutLinks(AT_FDCWD, whole.c_str(), kListFlags); };
    shared_ = posix::folder_listing::OpenFolder(whole, walk, &confirmed_);
    if (shared_ != nullptr) {
      listed_ = true;
      return kErrorSuccess;
    }
  }
  // A missing folder, a link in the base or below it, or no openat2: the
  // same walk from the base's own open tells which.
  const bool whole_was_refused = whole_tried && errno != ENOENT;

  posix::FolderDescriptor parent(posix::RetryOnEintr([&] { return ::open(native_base.c_str(), kPassFlags); }));
  if (!parent.IsValid() && errno == ENOENT && CreateFolderTree(base) == 0) {
    parent.Reset(posix::RetryOnEintr([&] { return ::open(native_base.c_str(), kPassFlags); }));
  }
  if (!parent.IsValid()) return fail(ErrorFromErrno(errno, native_base, posix::ObjectKind::kFolder));

  const int fd = OpenBelowWithoutLinks(parent.get(), native_rest.c_str(), kListFlags);
  if (fd >= 0) {
    if (whole_was_refused) whole_open_fails.store(true, std::memory_order_relaxed);
    handle_ = NativeHandle(fd);
    return kErrorSuccess;
  }
  if (IsLinkOrFile(errno)) return fail(kErrorStoppedOnLink);

  // A missing folder, or no openat2: one component at a time.
  std::size_t start = 0;
  while (start < native_rest.size()) {
    std::size_t end = native_rest.find('/', start);
    const bool last = end == std::string::npos || native_rest.find_first_not_of('/', end) == std::string::npos;
    if (end == std::string::npos) end = native_rest.size();
    const std::string name = native_rest.substr(start, end - start);
    const int next = OpenComponent(parent.get(), name.c_str(), last ? kListFlags : kPassFlags);
    if (next < 0) {
      if (IsLinkOrFile(errno)) return fail(kErrorStoppedOnLink);
      return fail(ErrorFromErrno(errno, {}, posix::ObjectKind::kFolder));
    }
    parent.Reset(next);
    start = native_rest.find_first_not_of('/', end);
    if (start == std::string::npos) break;
  }
  if (whole_was_refused) whole_open_fails.store(true, std::memory_order_relaxed);
  handle_ = NativeHandle(parent.Release());
  return kErrorSuccess;
}

}  // namespace qorlog::platform
