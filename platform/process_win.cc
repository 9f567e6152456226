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

  // 0, or the system error of the start.
  DWORD Start(const std::vector<std::string>& argv, ShowMode show) {
    if (argv.empty()) return ERROR_INVALID_PARAMETER;
    const std::u16string program = Utf8ToUtf16(argv[0]);
    std::wstring line;
    for (const std::string& arg : argv) AppendQuoted(Utf8ToUtf16(arg), &line);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = show == ShowMode::kHidden ? SW_HIDE : SW_SHOWNORMAL;
    // Hidden: a console program gets no console window either.
    const DWORD flags = show == ShowMode::kHidden ? CREATE_NO_WINDOW : 0;
    const std::wstring path(program.begin(), program.end());
    if (!::CreateProcessW(path.c_str(), line.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr,
                          &startup, &info_)) {
      return ::GetLastError();
    }
    return 0;
  }

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

DWORD StartAndWait(const std::vector<std::string>& argv, ShowMode show, DWORD* exit_code) {
  Started started;
  if (DWORD error = started.Start(argv, show); error != 0) return error;
  ::WaitForSingleObject(started.process(), INFINITE);
  DWORD code = 0;
  ::GetExitCodeProcess(started.process(), &code);
  if (exit_code != nullptr) *exit_code = code;
  return 0;
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

}  // namespace qorlog::platform
