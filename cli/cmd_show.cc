// qorlog show: the records of one log file, newest first like the array
// reads (--oldest-first reverses), as an aligned table or as JSON Lines.
//
// Exit status 3 when the file is not whole: a record the readers refuse (no
// records shown), or records shown from a file whose header is cut off or
// damaged, whose count differs from the records found, or whose last record
// is cut off (a note on standard error says which). 2 for a file or index
// that is not there, 4 when the file cannot be opened.
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>
#include <variant>
#include <vector>

#include "cli/commands.h"
#include "cli/log_file_read.h"
#include "cli/log_folder.h"
#include "cli/log_kind.h"
#include "cli/log_locations.h"
#include "cli/record_bounds.h"
#include "cli/record_format.h"
#include "cli/status_text.h"

namespace qorlog::cli {

namespace {

struct ShowArgs {
  std::string file;
  std::optional<DWORD> kind;
  std::optional<long long> index;  // none: the newest file
  long long index_given = 0;
  std::string index_text;  // as given: a number too large for index_given reads as its largest value
  bool json = false;
  bool oldest_first = false;
};

// The file that --kind and --file name, or the exit status of a failure.
std::variant<std::string, ExitCode> PickFile(DWORD kind, std::optional<long long> index, const std::string& text) {
  if (FindLogLocationsOrReport().status != 0) return ExitCode::kFailed;
  const auto files = ListLogFiles(kind);
  if (index) {
    if (*index >= static_cast<long long>(files.size())) {
      if (files.empty())
        return Fail(ExitCode::kUsage, "--file " + text + ": kind " + std::to_string(kind) + " has no log files");
      return Fail(ExitCode::kUsage, "--file " + text + " is not one of the " + std::to_string(files.size()) +
                                        " files of kind " + std::to_string(kind) + " (0 to " +
                                        std::to_string(files.size() - 1) + ", see 'qorlog list')");
    }
    const LogFolderEntry& entry = files[static_cast<std::size_t>(*index)];
    if (entry.is_folder) {
      return Fail(ExitCode::kUsage, "--file " + text + ": " + entry.path + " is a folder");
    }
    return entry.path;
  }
  // The newest file; a folder with a log file's name is skipped.
  for (auto it = files.rbegin(); it != files.rend(); ++it) {
    if (!it->is_folder) return it->path;
  }
  return Fail(ExitCode::kUsage, "kind " + std::to_string(kind) + " has no log files");
}

void PrintRecords(const ShowArgs& args, std::vector<RecordView> views) {
  if (args.oldest_first) std::reverse(views.begin(), views.end());
  if (args.json) {
    for (const RecordView& v : views) PrintJsonLine(std::cout, v);
  } else if (views.empty()) {
    std::cout << "(no records)\n";
  } else {
    PrintTable(std::cout, views);
  }
  std::cout.flush();
}

// Notes on standard error what is not whole about a file whose records were
// shown; kDamaged when there was anything.
ExitCode ReportDamage(const std::string& path, const LogFileRead& read, std::uint64_t file_size) {
  ExitCode code = ExitCode::kSuccess;
  auto note = [&](const std::string& text) {
    Note(path + ": " + text);
    code = ExitCode::kDamaged;
  };
  if (file_size < kHeaderSize) {
    note("the header is cut off (" + std::to_string(file_size) + " of " + std::to_string(kHeaderSize) + " bytes)");
  } else if (!read.header) {
    note("the header cannot be read");
  } else if (!read.HeaderValid()) {
    note("the header is damaged (version " + std::to_string(read.header->dwVersion) + ", count " +
         std::to_string(read.header->dwItemCount) + ", check " + std::to_string(read.header->dwCheck) +
         " is not their sum)");
  } else if (read.header->dwItemCount != read.records.size()) {
    note("the header counts " + std::to_string(read.header->dwItemCount) + " records, the file holds " +
         std::to_string(read.records.size()));
  }
  if (file_size >= kHeaderSize && file_size > read.records_end) {
    note(std::to_string(file_size - read.records_end) + " bytes after record " + std::to_string(read.records.size()) +
         " do not make a whole record (cut off, or still being written)");
  }
  return code;
}

ExitCode RunShow(const ShowArgs& args) {
  if (args.index && *args.index < 0) {
    return Fail(ExitCode::kUsage,
                "--file " + args.index_text + ": give the index of a file as 'qorlog list' shows it (0 or more)");
  }
  if (args.file.empty() && !args.kind) return Fail(ExitCode::kUsage, "show needs a FILE or --kind K");
  if (!args.file.empty() && args.index) return Fail(ExitCode::kUsage, "give either a FILE or --file N, not both");

  std::string path = args.file;
  std::optional<DWORD> kind = args.kind;
  if (path.empty()) {
    auto picked = PickFile(*kind, args.index, args.index_text);
    if (auto* code = std::get_if<ExitCode>(&picked)) return *code;
    path = std::get<std::string>(picked);
  } else {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (!std::filesystem::exists(status)) return Fail(ExitCode::kUsage, path + ": no such file");
    if (std::filesystem::is_directory(status)) return Fail(ExitCode::kUsage, path + ": is a folder, not a log file");
    if (!kind) kind = KindOfFolder(path);
    if (!kind) {
      return Fail(ExitCode::kUsage, path +
                                        ": the folder does not tell the record kind (only a category folder "
                                        "does); give --kind K");
    }
  }

  std::error_code ec;
  const std::uint64_t file_size = std::filesystem::file_size(path, ec);
  const LogFileRead read = ReadLogFile(path, *kind, true);
  if (read.open_status != 0) return Fail(ExitCode::kFailed, path + ": cannot open: " + StatusText(read.open_status));
  if (read.read_status == QORLOG_STATUS_OUT_OF_MEMORY) return Fail(ExitCode::kFailed, path + ": out of memory");
  if (read.read_status != 0) {
    return Fail(ExitCode::kDamaged, path + ": damaged, no records shown: a record holds a code or sub code that the " +
                                        "readers refuse (" + AcceptedValuesText(*kind) +
                                        "), or the file cannot be read");
  }
  PrintRecords(args, read.records);
  return ReportDamage(path, read, file_size);
}

}  // namespace

void AddShowCommand(CLI::App& app, Outcome& outcome) {
  auto* cmd = app.add_subcommand("show", "Show the records of a log file, newest first");
  auto args = std::make_shared<ShowArgs>();
  cmd->add_option("FILE", args->file, "A log file (its category folder tells the record kind unless --kind is given)");
  AddKindOption(cmd, "--kind", &args->kind, "Kind number or category name (pc-scan, ..., etc)");
  auto* index =
      cmd->add_option("--file", args->index_given, "Index of the file in 'qorlog list --kind K' (default: the newest)");
  cmd->add_flag("--json", args->json, "One JSON object per record (JSON Lines)");
  cmd->add_flag("--oldest-first", args->oldest_first, "Oldest record first");
  cmd->callback([&outcome, args, index] {
    if (index->count() > 0) {
      args->index = args->index_given;
      args->index_text = index->results().front();
    }
    outcome.exit_code = RunShow(*args);
  });
}

}  // namespace qorlog::cli
