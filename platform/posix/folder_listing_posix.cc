#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstdio>
#include <mutex>

#include "platform/posix/folder_listing.h"
#include "platform/posix/sys.h"

namespace qorlog::platform::posix::folder_listing {

namespace {

// Changes of the set of names, and the folder itself going away. IN_IGNORED,
// IN_UNMOUNT and IN_Q_OVERFLOW come without asking.
constexpr std::uint32_t kNameChanges =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// What can make a path lead elsewhere, watched on each folder along it: its
// entry of the next component removed, renamed (away, or another one over
// it) or changed in its permissions, and the folder itself removed, moved or
// changed. The removal must be heard on the parent: a folder's own removal
// event waits until no one uses it, and a kept descriptor uses the folder and
// every folder above it. Creations do not matter, since every name of a kept
// path exists.
constexpr std::uint32_t kPathChanges = IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF |
                                       IN_MOVE_SELF | IN_ONLYDIR | IN_MASK_ADD;
// Folders whose names, and folders whose descriptors, are kept at once (a
// process appends to six at most).
constexpr std::size_t kMaxKept = 16;

struct Kept {
  dev_t dev = 0;
  ino_t ino = 0;
  int wd = -1;
  Names names;  // null once an event spoke of the folder
};

// A folder descriptor kept for its path, with the watches along the path:
// each folder from the root down with the name of the next component, and
// the folder itself with an empty name (only its own events count there).
struct KeptFolder {
  std::string path;
  SharedHandle handle;
  dev_t dev = 0;
  ino_t ino = 0;
  std::vector<std::pair<int, std::string>> watches;
};

// A kept folder's descriptor, closed as the other folder descriptors are
// (without the fault point) once no Folder and no kept entry holds it.
struct KeptDescriptor : NativeHandle {
  explicit KeptDescriptor(int fd) : NativeHandle(fd) {}
  ~KeptDescriptor() { FolderDescriptor(static_cast<int>(Release())); }
};

struct State {
  std::mutex mu;
  int queue = -1;         // the inotify descriptor, made when first needed
  bool unusable = false;  // no inotify or no /proc: names are read afresh
  std::vector<Kept> kept;
  // /proc/self/mountinfo, which polls as a priority event after any mount or
  // unmount: a mount over a folder of a path raises no inotify event. -1
  // where it cannot be opened: then no folder descriptor is kept.
  int mounts = -1;
  bool mounts_tried = false;
  std::vector<KeptFolder> folders;
  std::vector<std::string> unwatchable;  // paths that are never kept
};

State& TheState();

// The child of a fork() must not read the queue it shares with its parent.
void ForgetInChild() {
  State& s = TheState();
  s.mu.unlock();
  if (s.queue >= 0) ::close(s.queue);
  if (s.mounts >= 0) ::close(s.mounts);
  s.queue = s.mounts = -1;
  s.mounts_tried = false;
  s.kept.clear();
  s.folders.clear();
}

State& TheState() {
  static State state;
  static const bool handlers = [] {
    // The mutex is held across fork(), so the child never sees it taken by
    // a thread that does not exist there.
    return ::pthread_atfork([] { TheState().mu.lock(); }, [] { TheState().mu.unlock(); }, &ForgetInChild) == 0;
  }();
  if (!handlers) state.unusable = true;
  return state;
}

int ReadAfresh(int fd, bool rewind, Names* out) {
  if (rewind && ::lseek(fd, 0, SEEK_SET) != 0) return errno;
  auto names = std::make_shared<std::vector<std::string>>();
  alignas(8) char buffer[16384];
  for (;;) {
    const ssize_t n = ::getdents64(fd, buffer, sizeof buffer);
    if (n < 0) return errno;
    if (n == 0) break;
    for (ssize_t at = 0; at < n;) {
      const auto* entry = reinterpret_cast<const struct dirent64*>(buffer + at);
      names->emplace_back(entry->d_name);
      at += entry->d_reclen;
    }
  }
  *out = std::move(names);
  return 0;
}

void GiveUp(State& s) {
  if (s.queue >= 0) ::close(s.queue);
  s.queue = -1;
  s.kept.clear();
  s.folders.clear();
  s.unusable = true;
}

// Whether `event` can have made the path of `f` lead elsewhere.
bool Touches(const KeptFolder& f, const struct inotify_event& event) {
  for (const auto& [wd, next] : f.watches) {
    if (wd != event.wd) continue;
    if (event.len == 0) return true;  // the folder itself
    if (!next.empty() && next == event.name) return true;
  }
  return false;
}

// Reads the queue to its end; every event drops the names of its folder and
// the kept folders whose paths it touches, a lost-events notice all of them.
// A mount or unmount drops every kept folder. When nothing happened, this
// is one poll().
void Drain(State& s) {
  struct pollfd fds[2] = {{s.queue, POLLIN, 0}, {s.mounts, POLLPRI, 0}};
  const int ready = posix::RetryOnEintr([&] { return ::poll(fds, s.mounts >= 0 ? 2 : 1, 0); });
  if (ready == 0) return;
  if (ready < 0) return GiveUp(s);
  if (fds[1].revents != 0) s.folders.clear();
  if (fds[0].revents == 0) return;
  alignas(struct inotify_event) char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(s.queue, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return;
    if (n <= 0) return GiveUp(s);  // what changed cannot be told
    for (ssize_t at = 0; at < n;) {
      const auto* event = reinterpret_cast<const struct inotify_event*>(buffer + at);
      const bool all = (event->mask & IN_Q_OVERFLOW) != 0;
      for (Kept& k : s.kept) {
        if (all || k.wd == event->wd) k.names.reset();
      }
      std::erase_if(s.folders, [&](const KeptFolder& f) { return all || Touches(f, *event); });
      at += static_cast<ssize_t>(sizeof(struct inotify_event) + event->len);
    }
  }
}

// Whether every change of a folder on the file system `fs` passes through
// this kernel, so that a watch sees it. A network file system reports only
// the changes made from this machine: there names are read afresh.
bool IsLocal(const struct statfs& fs) {
  switch (static_cast<unsigned long>(fs.f_type)) {
    case 0xEF53:      // ext2, ext3, ext4
    case 0x58465342:  // xfs
    case 0x9123683E:  // btrfs
    case 0xF2F52010:  // f2fs
    case 0x01021994:  // tmpfs
    case 0x794C7630:  // overlay (changes made through it)
      return true;
    default:
      return false;
  }
}

bool ChangesAreAllLocal(int fd) {
  struct statfs fs;
  return ::fstatfs(fd, &fs) == 0 && IsLocal(fs);
}

// Watches the folder open as `fd` (through its /proc name, which is that
// very folder); the watch descriptor, or -1.
bool MakeQueue(State& s) {
  if (s.queue < 0 && !s.unusable) s.queue = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (s.queue < 0) GiveUp(s);
  return s.queue >= 0;
}

int Watch(State& s, int fd) {
  if (!MakeQueue(s)) return -1;
  char name[40];
  std::snprintf(name, sizeof name, "/proc/self/fd/%d", fd);
  // Added to what other uses of the same folder's watch asked for.
  const int wd = ::inotify_add_watch(s.queue, name, kNameChanges | IN_MASK_ADD);
  if (wd < 0 && errno == ENOENT) GiveUp(s);  // no /proc
  return wd;
}

// Watches every folder of `path` (absolute, no "." or ".." components) from
// the root down, each for the next component, and the folder itself, all
// before the folder is opened: a change made after a watch is set is
// queued, and one made before it was already done when the path is walked.
// 0; EXDEV when a folder is not on a local file system; another errno when
// one could not be watched.
int WatchPath(State& s, const std::string& path, std::vector<std::pair<int, std::string>>* watches) {
  if (!MakeQueue(s)) return ENOSYS;
  std::size_t end = 0;
  do {
    const std::size_t next_start = path.find_first_not_of('/', end);
    const std::size_t next_end = next_start == std::string::npos ? path.size() : path.find('/', next_start);
    const std::string folder = end == 0 ? "/" : path.substr(0, end);
    const std::string next = next_start == std::string::npos ? "" : path.substr(next_start, next_end - next_start);
    const int wd = ::inotify_add_watch(s.queue, folder.c_str(), kPathChanges);
    struct statfs fs;
    if (wd < 0 || ::statfs(folder.c_str(), &fs) != 0) return errno;
    if (!IsLocal(fs)) return EXDEV;
    watches->emplace_back(wd, next);
    end = next_end == std::string::npos ? path.size() : next_end;
    if (next.empty()) return 0;
  } while (true);
}

void Keep(State& s, const struct stat& st, int wd, const Names& names) {
  for (Kept& k : s.kept) {
    if (k.dev == st.st_dev && k.ino == st.st_ino) {
      k.wd = wd;
      k.names = names;
      return;
    }
  }
  if (s.kept.size() >= kMaxKept) {
    ::inotify_rm_watch(s.queue, s.kept.front().wd);
    s.kept.erase(s.kept.begin());
  }
  s.kept.push_back(Kept{st.st_dev, st.st_ino, wd, names});
}

}  // namespace

int Read(int fd, bool rewind, bool confirmed, Names* out) {
  State& s = TheState();
  std::lock_guard lock(s.mu);
  struct stat st;
  if (confirmed) {
    // The queue was read when the folder was opened: its kept names count.
    for (const KeptFolder& f : s.folders) {
      if (FdOf(*f.handle) != fd) continue;
      for (const Kept& k : s.kept) {
        if (k.dev == f.dev && k.ino == f.ino && k.names != nullptr) {
          *out = k.names;
          return 0;
        }
      }
    }
  }
  if (s.unusable || ::fstat(fd, &st) != 0) return ReadAfresh(fd, rewind, out);
  if (s.queue >= 0) Drain(s);
  for (const Kept& k : s.kept) {
    if (k.dev == st.st_dev && k.ino == st.st_ino && k.names != nullptr) {
      *out = k.names;
      return 0;
    }
  }
  // The watch comes first: a change made while the names are read then
  // drops them at the next search.
  const int wd = s.unusable || !ChangesAreAllLocal(fd) ? -1 : Watch(s, fd);
  if (const int err = ReadAfresh(fd, rewind, out); err != 0) return err;
  if (wd >= 0) Keep(s, st, wd, *out);
  return 0;
}

SharedHandle OpenFolder(const std::string& path, const std::function<int()>& open, bool* confirmed) {
  State& s = TheState();
  std::lock_guard lock(s.mu);
  *confirmed = false;
  auto own = [](int fd) -> SharedHandle {
    if (fd < 0) return nullptr;
    return std::make_shared<const KeptDescriptor>(fd);
  };
  if (s.queue >= 0) Drain(s);
  for (const KeptFolder& f : s.folders) {
    if (f.path == path) {
      *confirmed = true;
      return f.handle;
    }
  }
  if (!s.mounts_tried) {
    s.mounts_tried = true;
    s.mounts = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
  }
  KeptFolder f{path, nullptr, 0, 0, {}};
  // Only plain absolute paths: "." and ".." would make the watched folders
  // differ from those the path passes.
  const bool plain = path.starts_with('/') && (path + '/').find("/./") == std::string::npos &&
                     (path + '/').find("/../") == std::string::npos;
  const bool watchable =
      plain && std::find(s.unwatchable.begin(), s.unwatchable.end(), path) == s.unwatchable.end();
  if (s.unusable || s.mounts < 0 || !watchable) return own(open());
  if (const int err = WatchPath(s, path, &f.watches); err != 0) {
    // A folder missing for now may be made by this very open; anything else
    // (a network file system, no right to watch, no watches left) stays.
    if (err != ENOENT && err != ENOTDIR && s.unwatchable.size() < kMaxKept) s.unwatchable.push_back(path);
    return own(open());
  }
  f.handle = own(open());
  struct stat st;
  if (f.handle == nullptr || ::fstat(FdOf(*f.handle), &st) != 0) return f.handle;
  f.dev = st.st_dev;
  f.ino = st.st_ino;
  if (s.folders.size() >= kMaxKept) s.folders.erase(s.folders.begin());
  s.folders.push_back(std::move(f));
  return s.folders.back().handle;
}

}  // namespace qorlog::platform::posix::folder_listing
