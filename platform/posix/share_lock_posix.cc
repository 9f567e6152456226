#include <cerrno>
#include <climits>

#include "platform/posix/share_lock.h"
#include "platform/posix/sys.h"

namespace qorlog::platform::posix::share_lock {

namespace {

// Marker i lives at kBase + i; kBase keeps the markers at the top of the
// addressable range, far past any file's data.
constexpr off_t kBase = LLONG_MAX - 64;

// Runs fcntl(cmd) on the markers [first, first + count).
int LockRange(int fd, int cmd, short type, long long first, long long count, struct flock* out) {
  struct flock fl = {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = kBase + first;
  fl.l_len = count;
  fl.l_pid = 0;  // required by OFD locks
  if (FcntlLock(fd, cmd, &fl) != 0) return errno == EACCES ? EAGAIN : errno;  // both mean "held"
  if (out != nullptr) *out = fl;
  return 0;
}

// Applies `fn` to each run of consecutive markers set in `mask`.
template <typename Fn>
int ForEachRun(unsigned mask, Fn fn) {
  for (long long i = 0; i < kMarkerCount;) {
    if ((mask & (1u << i)) == 0) {
      ++i;
      continue;
    }
    long long j = i;
    while (j < kMarkerCount && (mask & (1u << j)) != 0) ++j;
    if (int err = fn(i, j - i); err != 0) return err;
    i = j;
  }
  return 0;
}

int AnyHeld(int fd, unsigned mask) {
  return ForEachRun(mask, [fd](long long first, long long count) {
    struct flock fl = {};
    if (int err = LockRange(fd, F_OFD_GETLK, F_WRLCK, first, count, &fl); err != 0) return err;
    return fl.l_type == F_UNLCK ? 0 : EAGAIN;
  });
}

constexpr unsigned Bit(Marker m) { return 1u << m; }

// The markers a handle of `claim` holds.
unsigned Held(const Claim& claim) {
  unsigned mask = Bit(kOpen);
  if (claim.read) mask |= Bit(kRead);
  if (claim.write) mask |= Bit(kWrite);
  if (claim.deny_read) mask |= Bit(kDenyRead);
  if (claim.deny_write) mask |= Bit(kDenyWrite);
  return mask;
}

int SetRuns(int fd, unsigned mask, short type) {
  return ForEachRun(mask, [fd, type](long long first, long long count) {
    return LockRange(fd, F_OFD_SETLK, type, first, count, nullptr);
  });
}

// What an exclusive writer write-locks: everything but "denies reads", which
// no other handle can take meanwhile anyway (it would need "open" too).
constexpr unsigned kExclusiveMask = Bit(kDenyWrite) | Bit(kWrite) | Bit(kRead) | Bit(kOpen);

}  // namespace

int LockGuard(int fd) { return Flock(fd, LOCK_EX) == 0 ? 0 : errno; }

void UnlockGuard(int fd) { Flock(fd, LOCK_UN); }

int CheckConflicts(int fd, const Claim& claim) {
  unsigned mask = 0;
  if (claim.read) mask |= Bit(kDenyRead);
  if (claim.write) mask |= Bit(kDenyWrite);
  if (claim.deny_read) mask |= Bit(kRead);
  if (claim.deny_write) mask |= Bit(kWrite);
  return AnyHeld(fd, mask);
}

bool IsExclusiveWriter(const Claim& claim) { return claim.write && claim.deny_read && claim.deny_write; }

int TakeClaim(int fd, const Claim& claim) { return SetRuns(fd, Held(claim), F_RDLCK); }

int TakeExclusive(int fd) { return SetRuns(fd, kExclusiveMask, F_WRLCK); }

int Relax(int fd, const Claim& from, const Claim& to) {
  const unsigned held = IsExclusiveWriter(from) ? kExclusiveMask : Held(from);
  const unsigned keep = Held(to);
  // Shared locks on what stays (turning an exclusive writer's write locks
  // into shared ones in place), then the rest let go: at no moment does the
  // handle claim less than `to`.
  if (IsExclusiveWriter(from)) {
    if (int err = SetRuns(fd, keep, F_RDLCK); err != 0) return err;
  }
  return SetRuns(fd, held & ~keep, F_UNLCK);
}

int TakeIfUnused(int fd) {
  if (int err = LockRange(fd, F_OFD_SETLK, F_RDLCK, kOpen, 1, nullptr); err != 0) return err;
  return AnyHeld(fd, Bit(kOpen));
}

}  // namespace qorlog::platform::posix::share_lock
