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
// "denies reads", "denies writes"). A new handle first asks, with F_OFD_GETLK,
// whether any other handle holds a marker that conflicts with it, then takes
// its own. Check and take happen under a short flock() on the file, so two
// openers cannot both pass the check; flock and OFD locks do not interact on
// Linux, so the guard never collides with the markers.
//
// The order of the markers makes the common claims cheap: each run of
// adjacent markers costs one fcntl. A viewer (read, deny none) checks one run
// and takes one; a writer (read-write, deny write) checks one run (denies
// reads, denies writes, writes) and takes one (denies writes to open); an
// exclusive read-write handle checks one run (everything but "open") and
// takes one (all five). Giving up a deny needs no guard (it only lets more
// openers in), and dropping "denies reads" of an exclusive read-write handle
// leaves exactly the markers of a writer.
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
// With the guard held: 0 when no other handle conflicts with `claim`, EAGAIN
// when one does, another errno on failure.
int CheckConflicts(int fd, const Claim& claim);
// With the guard held: takes the claim's markers. Returns errno or 0.
int TakeClaim(int fd, const Claim& claim);
// Gives up the denies that `from` holds and `to` does not (no guard needed).
// `to` must deny nothing that `from` does not. Returns errno or 0.
int DropDenies(int fd, const Claim& from, const Claim& to);
// With the guard held: 0 when no handle at all holds the file, EAGAIN when one
// does. Used before deleting or renaming.
int CheckUnused(int fd);

}  // namespace qorlog::platform::posix::share_lock
