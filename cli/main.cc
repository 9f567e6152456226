// qorlog: the suite's log viewer and admin tool on Linux and Windows.
#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "platform/console_output.h"
#include "platform/text.h"

namespace {

using qorlog::cli::ExitCode;

// CLI11 reports its own errors with its own exit codes; the program folds
// them into kUsage and says them in its own voice.
int ReportParseError(const CLI::App& app, const CLI::ParseError& e) {
  if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) return app.exit(e);  // --help, --version
  std::string what = e.what();
  if (!what.empty() && what.back() == '\n') what.pop_back();
  qorlog::cli::Note(what + "\nRun 'qorlog --help' (or 'qorlog COMMAND --help') for the usage.");
  return static_cast<int>(ExitCode::kUsage);
}

int Main(int argc, char** argv) {
  const qorlog::platform::Utf8ConsoleOutput console;
  CLI::App app{"qorlog - list, read, write and prune the suite's logs; without a command, the live viewer", "qorlog"};
  app.set_version_flag("--version", "qorlog " QORLOG_VERSION_STRING);
  app.require_subcommand(0, 1);
  qorlog::cli::Outcome outcome;
  qorlog::cli::AddCommands(app, outcome);
  // Set after the commands, so that only the program's own help lists them.
  app.footer(qorlog::cli::ExitCodeHelp());

  // Without arguments the program is the live viewer: that is how the library
  // starts it.
  std::vector<const char*> args(argv, argv + argc);
  if (argc == 1) args.push_back("watch");
  try {
    app.parse(static_cast<int>(args.size()), args.data());
  } catch (const CLI::ParseError& e) {
    return ReportParseError(app, e);
  } catch (const std::exception& e) {
    // Nothing should throw this far; say so rather than abort.
    return static_cast<int>(qorlog::cli::Fail(ExitCode::kFailed, std::string("unexpected error: ") + e.what()));
  }
  return static_cast<int>(outcome.exit_code);
}

}  // namespace

#ifdef _WIN32
// Windows hands main() its arguments in the ANSI code page, which cannot hold
// every character; wmain() gets them as typed (UTF-16), and the commands take
// UTF-8.
int wmain(int argc, wchar_t** wide_argv) {
  std::vector<std::string> utf8;
  for (int i = 0; i < argc; ++i) {
    utf8.push_back(qorlog::platform::Utf16ToUtf8(reinterpret_cast<const char16_t*>(wide_argv[i])));
  }
  std::vector<char*> argv;
  for (std::string& arg : utf8) argv.push_back(arg.data());
  argv.push_back(nullptr);
  return Main(argc, argv.data());
}
#else
int main(int argc, char** argv) { return Main(argc, argv); }
#endif
