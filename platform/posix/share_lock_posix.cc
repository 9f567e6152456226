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
  if (FcntlLock(fd, cmd, &fl) != 0) return errno;
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

int TakeClaim(int fd, const Claim& claim) {
  unsigned mask = Bit(kOpen);
  if (claim.read) mask |= Bit(kRead);
  if (claim.write) mask |= Bit(kWrite);
  if (claim.deny_read) mask |= Bit(kDenyRead);
  if (claim.deny_write) mask |= Bit(kDenyWrite);
  return ForEachRun(mask, [fd](long long first, long long count) {
    return LockRange(fd, F_OFD_SETLK, F_RDLCK, first, count, nullptr);
  });
}

int DropDenies(int fd, const Claim& from, const Claim& to) {
  unsigned mask = 0;
  if (from.deny_read && !to.deny_read) mask |= Bit(kDenyRead);
  if (from.deny_write && !to.deny_write) mask |= Bit(kDenyWrite);
  return ForEachRun(mask, [fd](long long first, long long count) {
    return LockRange(fd, F_OFD_SETLK, F_UNLCK, first, count, nullptr);
  });
}

int CheckUnused(int fd) { return AnyHeld(fd, Bit(kOpen)); }

}  // namespace qorlog::platform::posix::share_lock
