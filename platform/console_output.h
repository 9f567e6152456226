// The program's text output is UTF-8 on every system. A Windows console
// shows the bytes written to it in its output code page, so while a
// Utf8ConsoleOutput lives, a console on standard output or standard error (not
// a file or a pipe, which get the UTF-8 bytes as they are) is switched to
// UTF-8, and back to its own code page afterwards. Elsewhere terminals take
// UTF-8 as they are and nothing changes.
// Thread rules: one object for the program's whole run, made by main.
#pragma once

namespace qorlog::platform {

class Utf8ConsoleOutput {
 public:
  Utf8ConsoleOutput();
  ~Utf8ConsoleOutput();
  Utf8ConsoleOutput(const Utf8ConsoleOutput&) = delete;
  Utf8ConsoleOutput& operator=(const Utf8ConsoleOutput&) = delete;

 private:
  unsigned previous_code_page_ = 0;  // 0: nothing was switched
};

}  // namespace qorlog::platform
