// qorlog show: the records of one log file, newest first like the array
// reads (--oldest-first reverses), as an aligned table or as JSON Lines.
//
// Exit status: 0 for a complete file; 2 when the records were shown but the
// file is not whole (a cut-off last record, a damaged header, or a header
// count that differs from the records found; a note on stderr says which);
// 1 when nothing could be shown (no such file, an unreadable or damaged
// file, a bad argument).
#include <algorithm>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "api/qorlog.h"
#include "cli/commands.h"
#include "cli/log_kind_arg.h"
#include "cli/record_format.h"
#include "logstore/log_check.h"
#include "logstore/log_format.h"
#include "platform/text.h"

namespace qorlog::cli {

namespace {

struct ShowArgs {
  std::string file;
  std::string kind;
  int index = -1;  // -1: the newest file
  bool json = false;
  bool oldest_first = false;
};

int Fail(const std::string& message) {
  std::cerr << "qorlog show: " << message << "\n";
  return 1;
}

// Reads every record through the array export of the kind's record kind.
DWORD ReadViews(void* log, DWORD kind, const std::string& file, std::vector<RecordView>* views) {
  DWORD count = 0;
  DWORD status;
  switch (RecordKindOf(kind)) {
    case kRecordKindPCScan: {
      stPC_SCAN_LOG_W* array = nullptr;
      status = QORLOG_ReadPCScanLogArray(log, &array, &count);
      for (DWORD i = 0; array != nullptr && i < count; ++i) views->push_back(ViewOf(array[i], file));
      if (array != nullptr) QORLOG_FreePCScanLogArray(array);
      break;
    }
    case kRecordKindFirewall: {
      stFW_LOG_W* array = nullptr;
      status = QORLOG_ReadFWLogArray(log, &array, &count);
      for (DWORD i = 0; array != nullptr && i < count; ++i) views->push_back(ViewOf(array[i], file));
      if (array != nullptr) QORLOG_FreeFWLogArray(array);
      break;
    }
    default: {
      stSIMPLE_LOG_W* array = nullptr;
      status = QORLOG_ReadSimpleLogArray(log, &array, &count);
      for (DWORD i = 0; array != nullptr && i < count; ++i) views->push_back(ViewOf(kind, array[i], file));
      if (array != nullptr) QORLOG_FreeSimpleLogArray(array);
      break;
    }
  }
  return status;
}

std::string DescribeDamage(const LogFileCheck& check) {
  switch (check.stop) {
    case LogFileCheck::Stop::kOutOfBounds:
      return "record " + std::to_string(check.records + 1) + " (ending at offset " +
             std::to_string(check.end_of_records) + ") has code " + std::to_string(check.bad_code) +
             " / sub code " + std::to_string(check.bad_sub_code) + ", outside the accepted values";
    case LogFileCheck::Stop::kUnreadable:
      return "unreadable after offset " + std::to_string(check.end_of_records);
    case LogFileCheck::Stop::kEndOfFile:
      break;
  }
  return "cannot be read";
}

int RunShow(const ShowArgs& args) {
  std::optional<DWORD> kind;
  if (!args.kind.empty()) {
    kind = ParseKind(args.kind);
    if (!kind) return Fail("unknown kind '" + args.kind + "'");
  }

  std::string path = args.file;
  if (path.empty()) {
    if (!kind) return Fail("give a FILE or --kind");
    stLOG_FILE_ITEM* files = nullptr;
    const DWORD count = QORLOG_GetLogFileCnt(*kind, &files);
    const long index = args.index < 0 ? static_cast<long>(count) - 1 : args.index;
    if (index >= 0 && index < static_cast<long>(count)) path = platform::Utf16ToUtf8(files[index].szPath);
    if (files != nullptr) QORLOG_FreeLogHeader(reinterpret_cast<stLOG_HEADER*>(files));
    if (count == 0) return Fail("no log files of kind " + std::to_string(*kind));
    if (path.empty()) return Fail("--file " + std::to_string(args.index) + " is not one of the " +
                                  std::to_string(count) + " files (0 to " + std::to_string(count - 1) + ")");
  } else if (!kind) {
    kind = KindOfFolder(path);
    if (!kind) return Fail("cannot tell the record kind of " + path + " from its folder; give --kind");
  }

  const std::u16string wide = platform::Utf8ToUtf16(path);
  void* log = nullptr;
  const DWORD open_status = QORLOG_OpenLogFile(wide.c_str(), &log);
  std::vector<RecordView> views;
  const DWORD status = open_status == 0 ? ReadViews(log, *kind, path, &views) : open_status;
  QORLOG_CloseLog(log);
  if (open_status != 0) return Fail("cannot open " + path + " (system error " + std::to_string(open_status) + ")");

  const LogFileCheck check = CheckLogFile(wide, *kind);
  if (status == QORLOG_STATUS_OUT_OF_MEMORY) return Fail(path + ": out of memory");
  if (status != 0) return Fail(path + ": damaged file, no records shown: " + DescribeDamage(check));

  if (args.oldest_first) std::reverse(views.begin(), views.end());
  if (args.json) {
    for (const RecordView& v : views) PrintJsonLine(std::cout, v);
  } else if (views.empty()) {
    std::cout << "(no records)\n";
  } else {
    PrintTable(std::cout, views);
  }
  std::cout.flush();

  int exit_code = 0;
  auto note = [&](const std::string& text) {
    std::cerr << "qorlog show: note: " << path << ": " << text << "\n";
    exit_code = 2;
  };
  if (check.CutOff()) {
    note("ends with " + std::to_string(check.file_size - check.end_of_records) +
         " bytes of an incomplete record after record " + std::to_string(views.size()) +
         " (cut off, or still being written)");
  }
  if (!check.header_complete) {
    note("the header is cut off (" + std::to_string(check.file_size) + " of 12 bytes)");
  } else if (!check.header_valid) {
    note("the header is damaged (version " + std::to_string(check.header_version) + ", count " +
         std::to_string(check.header_count) + ", check does not match)");
  } else if (check.header_count != views.size()) {
    note("the header counts " + std::to_string(check.header_count) + " records, the file holds " +
         std::to_string(views.size()));
  }
  return exit_code;
}

}  // namespace

void AddShowCommand(CLI::App& app, Outcome& outcome) {
  auto* cmd = app.add_subcommand("show", "Show the records of a log file, newest first");
  auto args = std::make_shared<ShowArgs>();
  cmd->add_option("FILE", args->file, "A log file (its folder tells the record kind unless --kind is given)");
  cmd->add_option("--kind", args->kind, "Kind number or category name (pc-scan, firewall, ..., etc)");
  cmd->add_option("--file", args->index, "Index of the file in `qorlog list --kind K` (default: the newest)")
      ->check(CLI::NonNegativeNumber);
  cmd->add_flag("--json", args->json, "One JSON object per record (JSON Lines)");
  cmd->add_flag("--oldest-first", args->oldest_first, "Oldest record first");
  cmd->callback([&outcome, args] { outcome.exit_code = RunShow(*args); });
}

QORLOG_CLI_COMMAND(AddShowCommand);

}  // namespace qorlog::cli
