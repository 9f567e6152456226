// The named mutex of the POSIX backend (the promise: platform/named_mutex.h).
//
// The primitive: a robust, process-shared, recursive pthread mutex in a small
// file of the session folder (posix/session_paths.h), mapped shared by every
// process that opens the name. An uncontended wait and release are a futex
// word change in user space, with no system call. The first opener
// initialises the mutex under an flock() on the file, so two processes that
// open the name at once cannot both initialise it.
//
// The traps: a robust mutex is freed by the kernel when its owning thread
// ends, but only the next locker learns of it (EOWNERDEAD) and must mark it
// consistent before releasing, or the mutex becomes unusable for everyone;
// Wait() does so at once. The futex word holds the owner's thread id: a file
// that outlives a reboot (a session folder on disk rather than tmpfs) could
// name a thread id that a new, unrelated thread now has, so the file records
// the boot id and is re-initialised when it was written in an earlier boot.
// The kernel frees a dead owner's mutex by walking that thread's robust list,
// which points into the mapping: were the mapping gone (unmapped while a
// thread owns the mutex, e.g. by a handle closed before the thread ends), the
// mutex would stay locked for ever. So each process maps a mutex file once,
// shares that mapping among all its handles of the name, and never unmaps it
// (one page per name for the life of the process). The file is never deleted
// or truncated once initialised either: a process that mapped an old file and
// one that made a new one would not exclude each other.
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <atomic>
#include <mutex>
#include <unordered_map>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/errors.h"
#include "platform/named_mutex.h"
#include "platform/posix/session_paths.h"
#include "platform/posix/sys.h"

namespace qorlog::platform {

// The mapped block. `magic` is written last, after the mutex is initialised.
struct NamedMutex::Shared {
  std::atomic<std::uint64_t> magic;
  char boot_id[40];
  pthread_mutex_t mutex;
};

namespace {

constexpr std::uint64_t kMagic = 0x31584554554D4C51ull;  // "QLMUTEX1"

// The kernel's id of this boot, or an empty text when it cannot be read.
std::string BootId() {
  static const std::string id = [] {
    char buf[40] = {};
    // Read without the fault point: a test's plan counts the calls of the
    // code it tests, not this one-time read.
    NativeHandle file(posix::RetryOnEintr([] { return ::open("/proc/sys/kernel/random/boot_id", O_RDONLY | O_CLOEXEC); }));
    if (!file.IsValid()) return std::string();
    const ssize_t n = posix::RetryOnEintr([&] { return ::read(posix::FdOf(file), buf, sizeof buf - 1); });
    std::string s(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
  }();
  return id;
}

bool InitialiseMutex(pthread_mutex_t* m) {
  pthread_mutexattr_t attr;
  if (pthread_mutexattr_init(&attr) != 0) return false;
  bool ok = pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED) == 0 &&
            pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST) == 0 &&
            pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE) == 0 &&
            pthread_mutex_init(m, &attr) == 0;
  pthread_mutexattr_destroy(&attr);
  return ok;
}

bool IsPlainNameChar(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'.' ||
         c == u'_' || c == u'-';
}

}  // namespace

std::string posix::MutexFilePath(std::u16string_view name) {
  const std::string folder = posix::SessionFolder();
  if (folder.empty()) return {};
  std::string path = folder + "/mutex-";
  for (char16_t c : name) {
    if (IsPlainNameChar(c)) {
      path.push_back(static_cast<char>(c));
    } else {
      char esc[8];
      std::snprintf(esc, sizeof esc, "%%%04X", static_cast<unsigned>(c));
      path += esc;
    }
  }
  return path;
}

namespace {

using posix::ErrorFromErrno;

// Maps the block of the mutex file at `path`, initialising it when it is new
// or from an earlier boot. Null on failure, with the last error set.
NamedMutex::Shared* MapBlock(const std::string& path) {
  NativeHandle handle(posix::Open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!handle.IsValid()) {
    SetLastError(ErrorFromErrno(errno, path));
    return nullptr;
  }
  const int fd = posix::FdOf(handle);
  DWORD error = 0;
  void* mem = MAP_FAILED;
  posix::Flock(fd, LOCK_EX);
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != getuid()) {
    error = kErrorAccessDenied;
  } else if (static_cast<std::size_t>(st.st_size) < sizeof(NamedMutex::Shared) &&
             posix::FTruncate(fd, sizeof(NamedMutex::Shared)) != 0) {
    error = ErrorFromErrno(errno, path);
  } else {
    mem = ::mmap(nullptr, sizeof(NamedMutex::Shared), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (mem == MAP_FAILED) error = ErrorFromErrno(errno, path);
  }
  NamedMutex::Shared* result = nullptr;
  if (mem != MAP_FAILED) {
    auto* shared = static_cast<NamedMutex::Shared*>(mem);
    const std::string boot = BootId();
    const bool current = shared->magic.load(std::memory_order_acquire) == kMagic &&
                         std::strncmp(shared->boot_id, boot.c_str(), sizeof shared->boot_id) == 0;
    if (!current) {
      // First opener in this boot: nobody can be using the block.
      shared->magic.store(0, std::memory_order_relaxed);
      std::memset(shared->boot_id, 0, sizeof shared->boot_id);
      std::strncpy(shared->boot_id, boot.c_str(), sizeof shared->boot_id - 1);
      if (InitialiseMutex(&shared->mutex)) {
        shared->magic.store(kMagic, std::memory_order_release);
      } else {
        error = kErrorNotEnoughMemory;
      }
    }
    if (error == 0) {
      result = shared;
    } else {
      ::munmap(mem, sizeof(NamedMutex::Shared));
    }
  }
  posix::Flock(fd, LOCK_UN);
  // Closing the file here: the mapping keeps it.
  if (error != 0) SetLastError(error);
  return result;
}

// Each mutex file is mapped once per process and never unmapped: see the
// top of this file for why the mapping must outlive every owner.
std::mutex g_blocks_lock;
std::unordered_map<std::string, NamedMutex::Shared*>& Blocks() {
  static auto* blocks = new std::unordered_map<std::string, NamedMutex::Shared*>();
  return *blocks;
}

}  // namespace

NamedMutex::NamedMutex(std::u16string_view name) {
  const std::string path = posix::MutexFilePath(name);
  if (path.empty()) {
    SetLastError(kErrorPathNotFound);
    return;
  }
  std::lock_guard<std::mutex> lock(g_blocks_lock);
  Shared*& block = Blocks()[path];
  if (block == nullptr) block = MapBlock(path);
  shared_ = block;
}

NamedMutex::~NamedMutex() { Close(); }

NamedMutex::NamedMutex(NamedMutex&& other) noexcept : shared_(other.shared_) { other.shared_ = nullptr; }

NamedMutex& NamedMutex::operator=(NamedMutex&& other) noexcept {
  if (this != &other) {
    Close();
    shared_ = other.shared_;
    other.shared_ = nullptr;
  }
  return *this;
}

void NamedMutex::Close() { shared_ = nullptr; }

DWORD NamedMutex::Wait() {
  if (shared_ == nullptr) {
    SetLastError(kErrorInvalidHandle);
    return kWaitFailed;
  }
  const int rc = pthread_mutex_lock(&shared_->mutex);  // never EINTR
  if (rc == 0) return kWaitObject0;
  if (rc == EOWNERDEAD) {
    // The owner ended while holding it. We own it now; mark it usable again
    // so the next waiter is not told the same thing.
    pthread_mutex_consistent(&shared_->mutex);
    return kWaitAbandoned;
  }
  SetLastError(kErrorInvalidHandle);
  return kWaitFailed;
}

bool NamedMutex::Release() {
  if (shared_ == nullptr) return false;
  return pthread_mutex_unlock(&shared_->mutex) == 0;
}

}  // namespace qorlog::platform
