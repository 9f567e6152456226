// Starting programs with CreateProcessW and waiting until a started program
// is idle for input with WaitForInputIdle: on Windows the readiness notice is
// the system's own, given when the program's message loop first waits for
// input, so SignalReady() has nothing to send.
#include <windows.h>

#include <string>

#include "platform/process.h"
#include "platform/text.h"

namespace qorlog::platform {

namespace {

// One argument as the C runtime of the started program splits it again:
// quoted when it is empty or holds blanks or quotes; backslashes are literal
// except before a quote, where each is doubled and the quote escaped.
void AppendQuoted(const std::u16string& arg, std::wstring* line) {
  if (!line->empty()) line->push_back(L' ');
  if (!arg.empty() && arg.find_first_of(u" \t\n\v\"") == std::u16string::npos) {
    line->append(arg.begin(), arg.end());
    return;
  }
  line->push_back(L'"');
  std::size_t backslashes = 0;
  for (char16_t c : arg) {
    if (c == u'\\') {
      ++backslashes;
      continue;
    }
    if (c == u'"') backslashes = 2 * backslashes + 1;
    line->append(backslashes, L'\\');
    backslashes = 0;
    line->push_back(static_cast<wchar_t>(c));
  }
  line->append(2 * backslashes, L'\\');  // before the closing quote
  line->push_back(L'"');
}

// The inheritable handles a started program gets as its standard input,
// output and error, and the attribute list that limits inheritance to them:
// without it the program would also inherit whatever inheritable handle
// another thread of this process holds at that moment.
struct StandardHandles {
  HANDLE list[3] = {INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE};
  LPPROC_THREAD_ATTRIBUTE_LIST attributes = nullptr;
  std::string attribute_memory;

  ~StandardHandles() {
    if (attributes != nullptr) ::DeleteProcThreadAttributeList(attributes);
    for (HANDLE h : list) {
      if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
    }
  }

  // 0, or the system error of opening a file.
  DWORD Open(const OutputFiles& files) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    // Shared for everything, so the starter can read the output while the
    // program runs and remove the files afterwards.
    constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    list[0] = ::CreateFileW(L"NUL", GENERIC_READ, kShare, &inherit, OPEN_EXISTING, 0, nullptr);
    const std::u16string out = Utf8ToUtf16(files.output), err = Utf8ToUtf16(files.error);
    list[1] = ::CreateFileW(reinterpret_cast<const wchar_t*>(out.c_str()), GENERIC_WRITE, kShare, &inherit,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    list[2] = ::CreateFileW(reinterpret_cast<const wchar_t*>(err.c_str()), GENERIC_WRITE, kShare, &inherit,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    for (HANDLE h : list) {
      if (h == INVALID_HANDLE_VALUE) return ::GetLastError();
    }
    SIZE_T size = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    attribute_memory.resize(size);
    auto* list_memory = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attribute_memory.data());
    if (!::InitializeProcThreadAttributeList(list_memory, 1, 0, &size)) return ::GetLastError();
    attributes = list_memory;
    if (!::UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, list, sizeof list, nullptr,
                                     nullptr)) {
      return ::GetLastError();
    }
    return 0;
  }
};

// Owns the two handles that CreateProcessW hands out.
class Started {
 public:
  Started() = default;
  ~Started() {
    if (info_.hThread != nullptr) ::CloseHandle(info_.hThread);
    if (info_.hProcess != nullptr) ::CloseHandle(info_.hProcess);
  }
  Started(const Started&) = delete;
  Started& operator=(const Started&) = delete;

  // 0, or the system error of the start. With `files`, the program's
  // standard handles are the empty NUL device and those files, and it
  // inherits these three handles and no other.
  DWORD Start(const std::vector<std::string>& argv, ShowMode show, const OutputFiles* files = nullptr) {
    if (argv.empty()) return ERROR_INVALID_PARAMETER;
    const std::u16string program = Utf8ToUtf16(argv[0]);
    std::wstring line;
    for (const std::string& arg : argv) AppendQuoted(Utf8ToUtf16(arg), &line);
    STARTUPINFOEXW startup = {};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW;
    startup.StartupInfo.wShowWindow = show == ShowMode::kHidden ? SW_HIDE : SW_SHOWNORMAL;
    // Hidden: a console program gets no console window either.
    DWORD flags = show == ShowMode::kHidden || files != nullptr ? CREATE_NO_WINDOW : 0;
    StandardHandles handles;
    if (files != nullptr) {
      if (DWORD error = handles.Open(*files); error != 0) return error;
      startup.StartupInfo.dwFlags |= STARTF_USESTDHANDLES;
      startup.StartupInfo.hStdInput = handles.list[0];
      startup.StartupInfo.hStdOutput = handles.list[1];
      startup.StartupInfo.hStdError = handles.list[2];
      startup.lpAttributeList = handles.attributes;
      flags |= EXTENDED_STARTUPINFO_PRESENT;
    }
    const std::wstring path(program.begin(), program.end());
    if (!::CreateProcessW(path.c_str(), line.data(), nullptr, nullptr, files != nullptr, flags, nullptr, nullptr,
                          &startup.StartupInfo, &info_)) {
      return ::GetLastError();
    }
    return 0;
  }

  DWORD id() const { return info_.dwProcessId; }

  HANDLE process() const { return info_.hProcess; }

 private:
  PROCESS_INFORMATION info_ = {};
};

}  // namespace

DWORD StartDetached(const std::vector<std::string>& argv, ShowMode show, DWORD ready_wait_ms,
                    ReadyOutcome* outcome) {
  Started started;
  if (DWORD error = started.Start(argv, show); error != 0) return error;
  ReadyOutcome result = ReadyOutcome::kReady;
  if (ready_wait_ms != 0) {
    const DWORD idle = ::WaitForInputIdle(started.process(), ready_wait_ms);
    if (idle != 0 && ::WaitForSingleObject(started.process(), 0) == WAIT_OBJECT_0) {
      result = ReadyOutcome::kExited;
    } else if (idle == WAIT_TIMEOUT) {
      result = ReadyOutcome::kTimedOut;
    }
    // WAIT_FAILED: a program without a message queue (a console program) is
    // never idle for input; like any Windows caller, go on at once.
  }
  if (outcome != nullptr) *outcome = result;
  return 0;
}

namespace {

DWORD WaitForEnd(const Started& started, DWORD* exit_code) {
  ::WaitForSingleObject(started.process(), INFINITE);
  DWORD code = 0;
  ::GetExitCodeProcess(started.process(), &code);
  if (exit_code != nullptr) *exit_code = code;
  return 0;
}

}  // namespace

DWORD StartAndWait(const std::vector<std::string>& argv, ShowMode show, DWORD* exit_code) {
  Started started;
  if (DWORD error = started.Start(argv, show); error != 0) return error;
  return WaitForEnd(started, exit_code);
}

DWORD StartAndWait(const std::vector<std::string>& argv, const OutputFiles& files, DWORD* exit_code,
                   const std::function<void(DWORD process_id)>& started_callback) {
  Started started;
  if (DWORD error = started.Start(argv, ShowMode::kHidden, &files); error != 0) return error;
  // The process handle held until the end keeps the id from being reused.
  if (started_callback) started_callback(started.id());
  return WaitForEnd(started, exit_code);
}

bool SignalReady() { return false; }

DWORD GetCurrentThreadId() { return ::GetCurrentThreadId(); }

DWORD GetCurrentProcessId() { return ::GetCurrentProcessId(); }

bool KillProcess(DWORD process_id) {
  const HANDLE process = ::OpenProcess(PROCESS_TERMINATE, FALSE, process_id);
  if (process == nullptr) return false;
  const bool killed = ::TerminateProcess(process, 137) != 0;
  ::CloseHandle(process);
  return killed;
}

namespace {

struct CloseRequest {
  DWORD process_id;
  bool posted;
};

BOOL CALLBACK PostCloseIfOwned(HWND window, LPARAM request_address) {
  auto* request = reinterpret_cast<CloseRequest*>(request_address);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner == request->process_id && ::PostMessageW(window, WM_CLOSE, 0, 0)) request->posted = true;
  return TRUE;
}

}  // namespace

bool AskToEnd(DWORD process_id) {
  CloseRequest request = {process_id, false};
  ::EnumWindows(PostCloseIfOwned, reinterpret_cast<LPARAM>(&request));
  // Message-only windows are not top-level: EnumWindows leaves them out.
  for (HWND w = nullptr; (w = ::FindWindowExW(HWND_MESSAGE, w, nullptr, nullptr)) != nullptr;) {
    PostCloseIfOwned(w, reinterpret_cast<LPARAM>(&request));
  }
  return request.posted;
}

}  // namespace qorlog::platform
