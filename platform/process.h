// Starting and killing programs, the readiness notice that stands in for
// waiting until a started program is idle for input, and the calling thread's
// and process's ids.
//
// The readiness notice: a started program calls SignalReady() once it can
// receive messages. The starter's wait ends at that notice, at the
// program's exit, or at the time limit. (On POSIX the notice travels through
// a pipe: platform/posix/ready_notice.h.)
//
// Thread rules: any thread.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace qorlog::platform {

inline constexpr DWORD kInfinite = 0xFFFFFFFF;

// How the file name of a program ends.
#ifdef _WIN32
inline constexpr std::u16string_view kProgramFileSuffix = u".exe";
#else
inline constexpr std::u16string_view kProgramFileSuffix = u"";
#endif

// How a started program is shown. Hidden: standard input and output are
// /dev/null and the program leads a new session (no controlling terminal).
enum class ShowMode { kHidden, kNormal };

// How the wait for the readiness notice ended.
enum class ReadyOutcome { kReady, kExited, kTimedOut };

// Starts argv[0] (a path; no search of PATH) with the arguments argv[1..],
// the caller's environment and folder, detached from the caller: the program
// is not the caller's child, so it leaves no zombie behind and outlives the
// caller like any program started on Windows. Then waits up to `ready_wait_ms`
// for its readiness notice (no wait when 0). 0 when the program was started,
// else the system error of the start (2 for a missing program). *outcome, when
// given, says how the wait ended.
DWORD StartDetached(const std::vector<std::string>& argv, ShowMode show, DWORD ready_wait_ms,
                    ReadyOutcome* outcome);

// Starts argv[0] as a child and waits for it to end; its exit status goes to
// *exit_code when given (128 + the signal number when a signal ended it).
// 0 when the program was started, else the system error of the start.
DWORD StartAndWait(const std::vector<std::string>& argv, ShowMode show, DWORD* exit_code);

// Where the standard streams of a program go instead of what a ShowMode
// gives: input is empty, output and error are written to these files (each
// created, or emptied when it exists; they must be two different files).
struct OutputFiles {
  std::string output;
  std::string error;
};

// As StartAndWait above, with the program's standard streams in files and
// without a console window of its own. `started`, when given, is called with
// the program's id once it runs and before the wait, so that another thread
// can AskToEnd() or KillProcess() it: until this call returns, the id names
// this program and no other.
DWORD StartAndWait(const std::vector<std::string>& argv, const OutputFiles& files, DWORD* exit_code,
                   const std::function<void(DWORD process_id)>& started = nullptr);

// For a started program: sends the readiness notice to the program that
// started it, once; programs this one starts do not inherit the channel.
// True when a notice was sent.
bool SignalReady();

// The kernel's id of the calling thread.
DWORD GetCurrentThreadId();

// The id of the calling process.
DWORD GetCurrentProcessId();

// Ends the process `process_id` at once, as a crash would: none of its code
// runs any more, and the system closes its handles and abandons the mutexes
// it owns. Its exit status is 137 (128 + SIGKILL on POSIX). True when the
// system took the request.
bool KillProcess(DWORD process_id);

// Asks the process `process_id` to end, as the system asks a program to
// close, so that it can end cleanly: SIGTERM on POSIX; on Windows, which has
// no such request for a console program, WM_CLOSE posted to each of its
// windows (top-level and message-only), as taskkill without /F does. True
// when the request went out: on Windows only to a program with a window.
bool AskToEnd(DWORD process_id);

}  // namespace qorlog::platform
