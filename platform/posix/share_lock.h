// Share modes between processes, emulated with locks on marker bytes.
// Internal to the POSIX backend.
//
// The promise: an open succeeds only when its access is allowed by the share
// mode of every other open handle on the file, and its own share mode allows
// the access of every other handle; this holds between processes and between
// handles of one process. A file held open by any handle cannot be deleted or
// renamed.
//
// The primitive: open-file-description (OFD) byte-range locks, placed far past
// any data so they never touch the file's contents. Each handle holds a shared
// lock on one marker byte per fact about it ("open", "reads", "writes",
// "denies reads", "denies writes"). A new handle takes its own markers and
// then asks, with F_OFD_GETLK, whether any other handle holds a marker that
// conflicts with it. Take and check happen under a short flock() on the file,
// so two openers cannot both pass the check; flock and OFD locks do not
// interact on Linux, so the guard never collides with the markers.
//
// An exclusive handle with write access (the appender's first open) needs no
// guard: it takes write locks on every marker from "denies writes" to "open"
// in one call, which succeeds exactly when no other handle holds the file,
// since every handle holds "open". No other claim can then be taken until it
// relaxes. Relaxing turns those write locks into the shared locks of the new
// claim in place. Because an exclusive handle may relax between another
// opener's take and check, every opener takes first and checks after: the
// check then sees the relaxed markers. Deleters take "open" before they check
// for holders, so an exclusive take and a delete cannot both succeed.
//
// The order of the markers makes the common claims cheap: each run of
// adjacent markers costs one fcntl. A viewer (read, deny none) takes one run
// and checks one; a writer (read-write, deny write) takes one (denies writes
// to open) and checks one (denies reads, denies writes, writes); an exclusive
// read-write handle takes one run of write locks (denies writes to open), and
// relaxing it to a writer turns that run into shared locks with one call.
// Giving up a deny needs no guard (it only lets more openers in).
//
// The traps: classic POSIX (F_SETLK) locks belong to the process, so two
// handles of one process would not see each other and closing any descriptor
// of the file would drop them all; OFD locks belong to the open file
// description and avoid both. They go with the last descriptor of that
// description, that is with the File or with the process. A descriptor
// inherited across fork() keeps the locks alive in the child; descriptors are
// opened close-on-exec so a spawned program never inherits them. Taking a
// shared lock needs a descriptor open for reading, so write-only handles open
// the file for reading too. An opener may have opened the path just before a
// deleter unlinked it; after taking the guard it checks that the file still
// has a name and otherwise opens again.
#pragma once

namespace qorlog::platform::posix::share_lock {

// The facts a handle declares about itself.
struct Claim {
  bool read = false;
  bool write = false;
  bool deny_read = false;
  bool deny_write = false;
};

// The marker bytes, highest offsets a lock can address.
enum Marker : long long {
  kDenyRead = 0,
  kDenyWrite = 1,
  kWrite = 2,
  kRead = 3,
  kOpen = 4,
  kMarkerCount = 5,
};

// Takes and releases the guard (flock on the descriptor). Returns errno or 0.
int LockGuard(int fd);
void UnlockGuard(int fd);
// Whether `claim` is taken with TakeExclusive instead of the guard.
bool IsExclusiveWriter(const Claim& claim);
// With the guard held: takes the claim's markers. Returns errno or 0 (EAGAIN
// when an exclusive handle holds the file).
int TakeClaim(int fd, const Claim& claim);
// With the guard held, after TakeClaim: 0 when no other handle conflicts with
// `claim`, EAGAIN when one does, another errno on failure.
int CheckConflicts(int fd, const Claim& claim);
// Without the guard, for an exclusive writer on a descriptor open for writing:
// 0 when no other handle holds the file, EAGAIN when one does, another errno.
int TakeExclusive(int fd);
// Changes the markers held for `from` into those of `to` (no guard needed).
// `to` must deny nothing that `from` does not. Returns errno or 0.
int Relax(int fd, const Claim& from, const Claim& to);
// With the guard held: takes "open" and then reports 0 when no other handle
// holds the file, EAGAIN when one does. Used before deleting or renaming.
int TakeIfUnused(int fd);

}  // namespace qorlog::platform::posix::share_lock
