#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>

#include "platform/posix/folder_listing.h"

namespace qorlog::platform::posix::folder_listing {

namespace {

// Changes of the set of names, and the folder itself going away. IN_IGNORED,
// IN_UNMOUNT and IN_Q_OVERFLOW come without asking.
constexpr std::uint32_t kNameChanges =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// Folders whose names are kept at once (a process appends to six at most).
constexpr std::size_t kMaxKept = 16;

struct Kept {
  dev_t dev = 0;
  ino_t ino = 0;
  int wd = -1;
  Names names;  // null once an event spoke of the folder
};

struct State {
  std::mutex mu;
  int queue = -1;         // the inotify descriptor, made when first needed
  bool unusable = false;  // no inotify or no /proc: names are read afresh
  std::vector<Kept> kept;
};

State& TheState();

// The child of a fork() must not read the queue it shares with its parent.
void ForgetInChild() {
  State& s = TheState();
  s.mu.unlock();
  if (s.queue >= 0) ::close(s.queue);
  s.queue = -1;
  s.kept.clear();
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
  s.unusable = true;
}

// Reads the queue to its end; every event drops the names of its folder, a
// lost-events notice all of them.
void Drain(State& s) {
  alignas(struct inotify_event) char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(s.queue, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return;
    if (n <= 0) return GiveUp(s);  // what changed cannot be told
    for (ssize_t at = 0; at < n;) {
      const auto* event = reinterpret_cast<const struct inotify_event*>(buffer + at);
      for (Kept& k : s.kept) {
        if ((event->mask & IN_Q_OVERFLOW) != 0 || k.wd == event->wd) k.names.reset();
      }
      at += static_cast<ssize_t>(sizeof(struct inotify_event) + event->len);
    }
  }
}

// Whether changes of the folder open as `fd` all pass through this kernel,
// so that its watch sees every one. A network file system reports only the
// changes made from this machine: there the names are read afresh.
bool ChangesAreAllLocal(int fd) {
  struct statfs fs;
  if (::fstatfs(fd, &fs) != 0) return false;
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

// Watches the folder open as `fd` (through its /proc name, which is that
// very folder); the watch descriptor, or -1.
int Watch(State& s, int fd) {
  if (s.queue < 0) s.queue = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (s.queue < 0) {
    GiveUp(s);
    return -1;
  }
  char name[40];
  std::snprintf(name, sizeof name, "/proc/self/fd/%d", fd);
  const int wd = ::inotify_add_watch(s.queue, name, kNameChanges);
  if (wd < 0 && errno == ENOENT) GiveUp(s);  // no /proc
  return wd;
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

int Read(int fd, bool rewind, Names* out) {
  State& s = TheState();
  std::lock_guard lock(s.mu);
  struct stat st;
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

}  // namespace qorlog::platform::posix::folder_listing
