// FolderWatch over ReadDirectoryChangesW, and the stop request over a
// console control handler and an event.
//
// Each watched folder is open for listing (shared for reading, writing and
// deleting, so the watch never stands in the way of the writers or of
// pruning) with one overlapped ReadDirectoryChangesW outstanding. Wait()
// waits on the stop event and on the completion event of every folder at
// once; WaitForMultipleObjects takes at most 64 handles, which is this
// backend's watch limit (63 folders beside the stop event).
//
// The stop request: Windows has no SIGINT or SIGTERM for a console program;
// Ctrl+C, Ctrl+Break and closing the console call a control handler on a
// thread of its own. The handler sets the flag and a manual-reset event that
// every wait includes, so a request that lands between testing the flag and
// entering the wait still ends it, and every later wait returns at once.
// Writing to a closed pipe or socket already fails with an error there.
#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/folder_watch.h"
#include "platform/process.h"

namespace qorlog::platform {

namespace {

std::atomic<bool> g_stop{false};

// The stop event, made on first use; it lives as long as the process.
HANDLE StopEvent() {
  static const HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return event;
}

BOOL WINAPI OnConsoleControl(DWORD type) {
  switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
      // After a close the system ends the process once the handler returns
      // (or after a few seconds): the waits end first, as on SIGTERM.
      RequestStop();
      return TRUE;
    default:
      return FALSE;
  }
}

// What a change to a log folder looks like: a file made, renamed or
// removed, or written to (Windows has no "closed after writing").
constexpr DWORD kNotifyFilter =
    FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE;

// The limit of WaitForMultipleObjects, less the stop event.
constexpr std::size_t kMaxFolders = MAXIMUM_WAIT_OBJECTS - 1;

// One watched folder with its outstanding read of changes. The buffer's
// contents are not looked at: a completion only says "look again", and one
// that overflowed the buffer (0 bytes) says the same.
class WatchedFolder {
 public:
  WatchedFolder(std::u16string name, HANDLE folder) : name_(std::move(name)), folder_(folder) {
    overlapped_.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  }
  ~WatchedFolder() {
    if (pending_) {
      ::CancelIoEx(folder_, &overlapped_);
      DWORD bytes = 0;
      ::GetOverlappedResult(folder_, &overlapped_, &bytes, TRUE);  // the buffer must outlive the read
    }
    ::CloseHandle(folder_);
    if (overlapped_.hEvent != nullptr) ::CloseHandle(overlapped_.hEvent);
  }
  WatchedFolder(const WatchedFolder&) = delete;
  WatchedFolder& operator=(const WatchedFolder&) = delete;

  // Starts the next read of changes; 0 or the system's error.
  DWORD Arm() {
    if (overlapped_.hEvent == nullptr) return kErrorNotEnoughMemory;
    ::ResetEvent(overlapped_.hEvent);
    if (!::ReadDirectoryChangesW(folder_, buffer_, sizeof buffer_, FALSE, kNotifyFilter, nullptr, &overlapped_,
                                 nullptr)) {
      pending_ = false;
      return ::GetLastError();
    }
    pending_ = true;
    return 0;
  }

  // Takes a completed read and starts the next; false once the folder
  // cannot be watched any more (it was removed or renamed away).
  bool Rearm() {
    DWORD bytes = 0;
    if (!::GetOverlappedResult(folder_, &overlapped_, &bytes, FALSE)) {
      pending_ = false;
      return false;
    }
    return Arm() == 0;
  }

  HANDLE event() const { return overlapped_.hEvent; }
  const std::u16string& name() const { return name_; }

 private:
  std::u16string name_;
  HANDLE folder_;
  OVERLAPPED overlapped_ = {};
  bool pending_ = false;
  alignas(DWORD) BYTE buffer_[4096];
};

}  // namespace

void RequestStop() {
  g_stop.store(true);
  if (const HANDLE event = StopEvent(); event != nullptr) ::SetEvent(event);
}

bool StopRequested() { return g_stop.load(); }

void StopOnTerminationSignals() {
  StopEvent();
  ::SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
}

struct FolderWatch::State {
  std::vector<std::unique_ptr<WatchedFolder>> folders;
};

FolderWatch::FolderWatch() : state_(std::make_unique<State>()) { StopEvent(); }

FolderWatch::~FolderWatch() = default;

DWORD FolderWatch::Watch(std::u16string_view folder) {
  const std::u16string name(folder);
  for (const auto& watched : state_->folders) {
    if (watched->name() == name) return 0;
  }
  if (state_->folders.size() >= kMaxFolders) return kErrorTooManyOpenFiles;
  const std::wstring path(name.begin(), name.end());
  const HANDLE handle = ::CreateFileW(path.c_str(), FILE_LIST_DIRECTORY,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    // A missing last folder is "file not found" here: callers retry on 3.
    const DWORD error = ::GetLastError();
    return error == kErrorFileNotFound ? kErrorPathNotFound : error;
  }
  auto watched = std::make_unique<WatchedFolder>(name, handle);
  if (const DWORD error = watched->Arm(); error != 0) return error;  // e.g. a file, not a folder
  state_->folders.push_back(std::move(watched));
  return 0;
}

FolderWatch::Wake FolderWatch::Wait(DWORD timeout_ms) {
  if (StopRequested()) return Wake::kStopped;
  std::vector<HANDLE> handles = {StopEvent()};
  for (const auto& folder : state_->folders) handles.push_back(folder->event());
  const DWORD rc = ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, timeout_ms);
  if (StopRequested() || rc == WAIT_OBJECT_0) return Wake::kStopped;
  if (rc == WAIT_TIMEOUT || rc == WAIT_FAILED) return Wake::kTimedOut;
  // Take every completed read, not only the first: one wake stands for all
  // changes so far. A folder that went away is dropped (watching it again
  // once it is back makes a new watch); the caller's scan notices.
  for (std::size_t i = 0; i < state_->folders.size();) {
    if (::WaitForSingleObject(state_->folders[i]->event(), 0) == WAIT_OBJECT_0 && !state_->folders[i]->Rearm()) {
      state_->folders.erase(state_->folders.begin() + static_cast<std::ptrdiff_t>(i));
      continue;
    }
    ++i;
  }
  return Wake::kChanged;
}

}  // namespace qorlog::platform
