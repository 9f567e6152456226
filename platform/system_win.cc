// Local time, sleeping and the readability probe on Windows. The session and machine
// folders of system.h are the Linux home of named objects; Windows names its
// objects itself, so they have no Windows definition.
#include <windows.h>

#include <cstdint>

#include "platform/system.h"

namespace qorlog::platform {

SYSTEMTIME GetLocalTime() {
  SYSTEMTIME st;
  ::GetLocalTime(&st);
  return st;
}

void SleepMilliseconds(DWORD milliseconds) { ::Sleep(milliseconds); }

// A console answers GetConsoleMode; files, pipes and NUL do not.
bool IsTerminal(StandardStream stream) {
  const DWORD which = stream == StandardStream::kInput    ? STD_INPUT_HANDLE
                      : stream == StandardStream::kOutput ? STD_OUTPUT_HANDLE
                                                          : STD_ERROR_HANDLE;
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(which), &mode) != 0;
}

// VirtualQuery walks the regions that the range touches: each must be
// committed and readable. IsBadReadPtr would do the same by touching the
// memory and catching the fault, which can consume a guard page (and with it
// a thread's stack growth); asking the memory manager touches nothing.
bool IsBadReadPtr(const void* p, std::size_t size) {
  if (p == nullptr) return true;
  constexpr DWORD kReadable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                              PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
  auto at = reinterpret_cast<std::uintptr_t>(p);
  const std::uintptr_t end = at + size;
  if (end < at) return true;  // wraps around the address space
  while (at < end) {
    MEMORY_BASIC_INFORMATION info;
    if (::VirtualQuery(reinterpret_cast<const void*>(at), &info, sizeof info) == 0) return true;
    if (info.State != MEM_COMMIT || (info.Protect & kReadable) == 0 ||
        (info.Protect & (PAGE_GUARD | PAGE_NOACCESS)) != 0) {
      return true;
    }
    at = reinterpret_cast<std::uintptr_t>(info.BaseAddress) + info.RegionSize;
  }
  return false;
}

}  // namespace qorlog::platform
