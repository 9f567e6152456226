// Window messages between processes: registered message numbers, windows as
// message endpoints, the sending calls and the receiving side (a window with a
// handler and a message loop).
//
// A window is named by its handle, a nonzero value that any process holding
// it can send to; the handle of a window that is gone names nothing.
//
// The promises:
// - SendMessageW blocks until the receiver's handler has returned and yields
//   its result; a receiver that dies releases the sender at once.
// - SendMessageTimeoutW never blocks past its time-out. With abort-if-hung it
//   also gives up at once when the window's loop is not running.
// - PostMessageW returns without waiting for the handler.
// - WM_COPYDATA carries the identifier, the byte count and a copy of the
//   bytes; the handler sees a CopyDataStruct that points into its own copy,
//   valid for the duration of the call.
// - IsWindow is true while the owner holds the window; a crashed owner leaves
//   no window behind.
// - The same registered-message name gives the same number in every process.
// - A send to the own window from its loop thread calls the handler
//   directly, as Windows does.
// (How the POSIX backend keeps them, and its traps: the top of
// platform/posix/window_posix.cc.)
//
// Thread rules: the sending calls may run on any thread. A MessageWindow is
// created, run and destroyed by one thread; Stop() may be called from any
// thread and from a signal handler.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "platform/types.h"

namespace qorlog::platform {

using HWND = std::uint64_t;  // 0 is no window
using UINT = std::uint32_t;
using WPARAM = std::uint64_t;
using LPARAM = std::int64_t;
using LRESULT = std::int64_t;

inline constexpr UINT kWmClose = 0x0010;
inline constexpr UINT kWmCopyData = 0x004A;
// First and last registered message numbers.
inline constexpr UINT kFirstRegisteredMessage = 0xC000;
inline constexpr UINT kLastRegisteredMessage = 0xFFFF;
// SendMessageTimeoutW flags.
inline constexpr UINT kSmtoNormal = 0x0000;
inline constexpr UINT kSmtoAbortIfHung = 0x0002;
// The largest WM_COPYDATA payload that travels in one packet.
inline constexpr DWORD kMaxCopyDataBytes = 64 * 1024;
// Windows: a message that cannot be posted (WM_COPYDATA), and a full queue.
inline constexpr DWORD kErrorMessageSyncOnly = 1159;
inline constexpr DWORD kErrorNotEnoughQuota = 1816;
inline constexpr DWORD kErrorInvalidWindowHandle = 1400;

// COPYDATASTRUCT: identifier, byte count, bytes.
struct CopyDataStruct {
  std::uint64_t dwData = 0;
  DWORD cbData = 0;
  const void* lpData = nullptr;
};

// Turns a CopyDataStruct's address into the LPARAM of WM_COPYDATA and back.
inline LPARAM ToLParam(const CopyDataStruct* cds) { return static_cast<LPARAM>(reinterpret_cast<std::intptr_t>(cds)); }
inline const CopyDataStruct* CopyDataOf(LPARAM lparam) {
  return reinterpret_cast<const CopyDataStruct*>(static_cast<std::intptr_t>(lparam));
}

// The number of a registered message, 0xC000..0xFFFF; the same name gives the
// same number in every process. Names are compared without ASCII case. An
// empty name gives 0.
UINT RegisterWindowMessageA(std::string_view name);

// True while the window exists (its owner is alive and holds it).
bool IsWindow(HWND window);

// Sends and waits for the handler's result. 0 with the last error set when the
// window does not exist or goes away before answering. For WM_COPYDATA,
// `lparam` is ToLParam(&cds).
LRESULT SendMessageW(HWND window, UINT msg, WPARAM wparam, LPARAM lparam);

// Sends and waits at most `timeout_ms`. Nonzero when the handler answered (its
// result in *result when given); 0 with last error 1460 on time-out or when
// abort-if-hung found the window not accepting, or another error.
LRESULT SendMessageTimeoutW(HWND window, UINT msg, WPARAM wparam, LPARAM lparam, UINT flags, UINT timeout_ms,
                            LRESULT* result);

// Queues the message and returns at once. Nonzero on success. WM_COPYDATA
// cannot be posted (1159); a full queue gives 1816.
bool PostMessageW(HWND window, UINT msg, WPARAM wparam, LPARAM lparam);

// The handler of a window: message, wParam, lParam (for WM_COPYDATA a
// CopyDataStruct valid during the call); its result goes back to a sender.
// It sees WM_CLOSE too: the window stays until Destroy(), whatever the
// handler does with it.
using WindowProc = std::function<LRESULT(UINT msg, WPARAM wparam, LPARAM lparam)>;

// The receiving side: a window with a handler and its message loop.
class MessageWindow {
 public:
  MessageWindow();
  ~MessageWindow();
  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;

  // How other processes may come upon the window besides its handle.
  enum class Kind {
    kMessageOnly,  // reached by its handle alone
    // Also a hidden top-level window: on Windows other processes' window
    // enumerations and broadcasts see it. For the programs that others look
    // for as windows (the viewer, the tray). Elsewhere, and in a session
    // without a desktop, as kMessageOnly.
    kHiddenTopLevel,
  };

  // Makes the window. `any_user` lets processes of other users send to it
  // (for machine-wide windows). 0 or a system error code.
  DWORD Create(WindowProc proc, bool any_user = false, Kind kind = Kind::kMessageOnly);
  // Removes the window: senders see it gone.
  void Destroy();

  HWND handle() const;

  // Handles messages until Stop(). A Stop() that came before Run() makes it
  // return at once. 0, or the error that ended the loop.
  DWORD Run();
  // Handles the messages that arrive within `timeout_ms`, then returns (also
  // on Stop()). For loops that do other work between messages.
  DWORD RunFor(int timeout_ms);
  // Ends Run(). Async-signal-safe; any thread.
  void Stop();

  struct Impl;  // defined by the backend

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace qorlog::platform
