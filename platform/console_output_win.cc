#include <windows.h>

#include "platform/console_output.h"

namespace qorlog::platform {

namespace {

bool IsConsole(DWORD which) {
  const HANDLE handle = ::GetStdHandle(which);
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) != 0;
}

}  // namespace

Utf8ConsoleOutput::Utf8ConsoleOutput() {
  if (!IsConsole(STD_OUTPUT_HANDLE) && !IsConsole(STD_ERROR_HANDLE)) return;
  const UINT current = ::GetConsoleOutputCP();
  if (current != CP_UTF8 && ::SetConsoleOutputCP(CP_UTF8) != 0) previous_code_page_ = current;
}

Utf8ConsoleOutput::~Utf8ConsoleOutput() {
  if (previous_code_page_ != 0) ::SetConsoleOutputCP(previous_code_page_);
}

}  // namespace qorlog::platform
