// Window messages on Windows are the system's own (the promises:
// platform/window.h): RegisterWindowMessageA, SendMessageW,
// SendMessageTimeoutW, PostMessageW, IsWindow, and WM_COPYDATA, which the
// system copies into the receiving process.
//
// A MessageWindow is by default a message-only window (parent HWND_MESSAGE):
// it receives sent and posted messages by handle like any window, but is
// never shown or enumerated, and needs no desktop (under Wine without a
// display, a top-level window first tries to start the desktop's tray for
// several seconds). Kind::kHiddenTopLevel makes a top-level window that is
// never shown, for the programs that other processes look for as windows
// (the viewer, the tray).
//
// Run and RunFor wait on the thread's message queue and on a stop event
// together, so Stop() from another thread (or a console control handler,
// Windows' stand-in for a signal handler) ends the loop without a message.
#include <windows.h>

#include <mutex>
#include <string>

#include "platform/errors.h"
#include "platform/window.h"

// The parent of message-only windows, spelled outside the namespace, where
// HWND is the system's type and not the handle value of window.h.
static const HWND kMessageOnlyParent = HWND_MESSAGE;

namespace qorlog::platform {

// CopyDataStruct is handed to the handler as the system's COPYDATASTRUCT.
static_assert(sizeof(CopyDataStruct) == sizeof(COPYDATASTRUCT));
static_assert(offsetof(CopyDataStruct, dwData) == offsetof(COPYDATASTRUCT, dwData));
static_assert(offsetof(CopyDataStruct, cbData) == offsetof(COPYDATASTRUCT, cbData));
static_assert(offsetof(CopyDataStruct, lpData) == offsetof(COPYDATASTRUCT, lpData));
static_assert(kWmCopyData == WM_COPYDATA && kWmClose == WM_CLOSE && kSmtoAbortIfHung == SMTO_ABORTIFHUNG);
static_assert(kErrorMessageSyncOnly == ERROR_MESSAGE_SYNC_ONLY);

struct MessageWindow::Impl {
  DWORD Loop(DWORD timeout_ms);
  void Destroy();

  WindowProc proc;
  ::HWND window = nullptr;
  HANDLE stop = nullptr;  // auto-reset: one Stop() ends one loop
};

namespace {

constexpr wchar_t kClassName[] = L"QorLogMessageWindow";

::HWND Native(HWND window) { return reinterpret_cast<::HWND>(static_cast<std::uintptr_t>(window)); }

LRESULT CALLBACK WindowProcedure(::HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* impl = reinterpret_cast<MessageWindow::Impl*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  // The handler sees the messages of the callers (WM_COPYDATA, WM_CLOSE,
  // private and registered ones); the system's own keep their default
  // handling. WM_CLOSE never reaches DefWindowProcW, which would destroy the
  // window under the owner's feet.
  if (msg == WM_CLOSE) return impl != nullptr && impl->proc ? impl->proc(msg, wparam, lparam) : 0;
  if (impl != nullptr && impl->proc && (msg >= WM_USER || msg == WM_COPYDATA)) return impl->proc(msg, wparam, lparam);
  return ::DefWindowProcW(window, msg, wparam, lparam);
}

// The class is registered once per process, on first use.
DWORD RegisterClassOnce() {
  static std::once_flag once;
  static DWORD result = kErrorSuccess;
  std::call_once(once, [] {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WindowProcedure;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kClassName;
    if (::RegisterClassExW(&wc) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) result = ::GetLastError();
  });
  return result;
}

}  // namespace

UINT RegisterWindowMessageA(std::string_view name) {
  if (name.empty()) return 0;
  return ::RegisterWindowMessageA(std::string(name).c_str());
}

bool IsWindow(HWND window) { return window != 0 && ::IsWindow(Native(window)) != 0; }

LRESULT SendMessageW(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  return ::SendMessageW(Native(window), msg, wparam, lparam);
}

LRESULT SendMessageTimeoutW(HWND window, UINT msg, WPARAM wparam, LPARAM lparam, UINT flags, UINT timeout_ms,
                            LRESULT* result) {
  DWORD_PTR answer = 0;
  const LRESULT rc = ::SendMessageTimeoutW(Native(window), msg, wparam, lparam, flags, timeout_ms, &answer);
  if (rc != 0 && result != nullptr) *result = static_cast<LRESULT>(answer);
  return rc;
}

bool PostMessageW(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  return ::PostMessageW(Native(window), msg, wparam, lparam) != 0;
}

MessageWindow::MessageWindow() : impl_(std::make_unique<Impl>()) {}

MessageWindow::~MessageWindow() { impl_->Destroy(); }

// Senders of other users reach a window of another session only through the
// system's own rules; `any_user` has nothing to open up here.
DWORD MessageWindow::Create(WindowProc proc, bool /*any_user*/, Kind kind) {
  impl_->Destroy();
  if (DWORD rc = RegisterClassOnce(); rc != 0) return rc;
  impl_->stop = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (impl_->stop == nullptr) return ::GetLastError();
  impl_->proc = std::move(proc);
  // A top-level window without WS_VISIBLE stays hidden; WS_EX_TOOLWINDOW
  // keeps it off the taskbar should anything show it.
  const bool top_level = kind == Kind::kHiddenTopLevel;
  impl_->window = ::CreateWindowExW(top_level ? WS_EX_TOOLWINDOW : 0, kClassName, L"",
                                    top_level ? WS_OVERLAPPED : 0, 0, 0, 0, 0,
                                    top_level ? nullptr : kMessageOnlyParent, nullptr, ::GetModuleHandleW(nullptr),
                                    impl_.get());
  // A session without a desktop (a service; Wine without a display, which
  // fails with 31) has no top-level windows: such a receiver is still found
  // through its published handle.
  if (impl_->window == nullptr && top_level) {
    impl_->window = ::CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, kMessageOnlyParent, nullptr,
                                      ::GetModuleHandleW(nullptr), impl_.get());
  }
  if (impl_->window == nullptr) {
    const DWORD rc = ::GetLastError();
    impl_->Destroy();
    return rc == 0 ? kErrorGenFailure : rc;
  }
  return kErrorSuccess;
}

void MessageWindow::Destroy() { impl_->Destroy(); }

void MessageWindow::Impl::Destroy() {
  if (window != nullptr) {
    // No message reaches the handler while the window is being destroyed.
    ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    ::DestroyWindow(window);
    window = nullptr;
  }
  if (stop != nullptr) {
    ::CloseHandle(stop);
    stop = nullptr;
  }
  proc = nullptr;
}

HWND MessageWindow::handle() const { return reinterpret_cast<std::uintptr_t>(impl_->window); }

DWORD MessageWindow::Run() { return impl_->Loop(INFINITE); }

DWORD MessageWindow::RunFor(int timeout_ms) { return impl_->Loop(timeout_ms < 0 ? 0 : static_cast<DWORD>(timeout_ms)); }

void MessageWindow::Stop() {
  if (impl_->stop != nullptr) ::SetEvent(impl_->stop);
}

DWORD MessageWindow::Impl::Loop(DWORD timeout_ms) {
  if (window == nullptr) return kErrorInvalidWindowHandle;
  const ULONGLONG deadline = timeout_ms == INFINITE ? 0 : ::GetTickCount64() + timeout_ms;
  for (;;) {
    DWORD wait = INFINITE;
    if (timeout_ms != INFINITE) {
      const ULONGLONG now = ::GetTickCount64();
      wait = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
    }
    // MWMO_INPUTAVAILABLE: messages already in the queue count too, not only
    // those that arrived since the last look.
    const DWORD rc = ::MsgWaitForMultipleObjectsEx(1, &stop, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (rc == WAIT_OBJECT_0) return kErrorSuccess;
    if (rc == WAIT_FAILED) return ::GetLastError();
    // Sent messages are handled inside PeekMessageW; posted ones come out.
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    if (rc == WAIT_TIMEOUT) return kErrorSuccess;
  }
}

}  // namespace qorlog::platform
