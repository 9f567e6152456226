// Waiting for change: a watch over a few folders that wakes when a file in
// one of them is created, finished writing, renamed or deleted, and the
// process-wide stop request that SIGINT and SIGTERM (or the program itself)
// raise, so that a long-running command can end cleanly between batches.
//
// A waiting command sleeps in Wait() until something happened in a watched
// folder, the time-out ran out, or a stop was requested. A wake says only
// "look again": it carries no names, and several changes may be folded into
// one wake, so the caller rescans the folders.
//
// Thread rules: a FolderWatch is used by one thread. RequestStop() and
// StopRequested() may be called from any thread and from a signal handler.
#pragma once

#include <memory>
#include <string_view>

#include "platform/types.h"

namespace qorlog::platform {

class FolderWatch {
 public:
  enum class Wake { kChanged, kTimedOut, kStopped };

  FolderWatch();
  ~FolderWatch();
  FolderWatch(const FolderWatch&) = delete;
  FolderWatch& operator=(const FolderWatch&) = delete;

  // Adds `folder` to the watched folders (watching one twice is harmless).
  // 0, or a system error code: 3 when the folder does not exist (callers
  // retry once it appears), 4 when the system's watch limit is reached.
  DWORD Watch(std::u16string_view folder);

  // Waits until a watched folder changed, `timeout_ms` passed (kInfinite:
  // no limit) or a stop is requested; changes that happened since the last
  // wait count, so none is missed between a scan and the next wait.
  Wake Wait(DWORD timeout_ms);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// From now on SIGINT and SIGTERM request a stop instead of ending the process,
// and writing to a closed pipe or socket fails with an error instead of
// raising SIGPIPE. Process-wide; call once, early, from the main thread.
void StopOnTerminationSignals();

// Asks every wait to end (async-signal-safe).
void RequestStop();
bool StopRequested();

}  // namespace qorlog::platform
