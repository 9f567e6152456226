// qorlog write simple|fw|pcscan: appends one record through the library's
// wide writers. Texts are UTF-8 on the command line; each is converted to
// UTF-16 and cut to its field (63 or 259 units) without splitting a
// surrogate pair, with a note when it was cut. Omitted fields are 0 or
// empty. Values that the readers would refuse are refused here, since one
// such record makes every record of its file unreadable.
#include <iostream>
#include <memory>
#include <string>

#include "cli/append_failure.h"
#include "cli/commands.h"
#include "cli/log_kind.h"
#include "cli/log_locations.h"
#include "cli/record_bounds.h"
#include "cli/status_text.h"
#include "platform/text.h"

namespace qorlog::cli {

namespace {

struct WriteOptions {
  std::optional<DWORD> kind;
  DWORD code = 0;
  DWORD sub_code = 0;
  DWORD param = 0;
  std::string text;
  std::string text64;
  std::string text260;
  std::string text64b;
};

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }

// Converts `text` and copies at most N-1 UTF-16 units into `field`, ending
// before a high surrogate whose partner does not fit.
template <std::size_t N>
void Fill(WCHAR (&field)[N], const std::string& text, const char* option) {
  const std::u16string wide = platform::Utf8ToUtf16(text);
  std::size_t keep = std::min(wide.size(), N - 1);
  if (keep < wide.size() && keep > 0 && IsHighSurrogate(wide[keep - 1])) --keep;
  std::copy_n(wide.begin(), keep, field);
  field[keep] = 0;
  if (keep < wide.size()) {
    Note(std::string("note: ") + option + " holds " + std::to_string(wide.size()) + " UTF-16 units; the first " +
         std::to_string(keep) + " are stored");
  }
}

// kUsage with a message when a value lies outside what the readers accept.
ExitCode CheckValues(DWORD kind, const WriteOptions& o) {
  auto refuse = [&](const std::string& option, DWORD value) {
    return Fail(ExitCode::kUsage, option + " " + std::to_string(value) + " is out of range: the readers accept " +
                                      AcceptedValuesText(kind) +
                                      " in these records, and one record outside them makes its whole file unreadable");
  };
  if (o.code >= kCodeLimit) return refuse("--code", o.code);
  if (o.sub_code >= SubCodeLimit(kind)) return refuse("--sub-code", o.sub_code);
  return ExitCode::kSuccess;
}

// Fills the record and appends it with `write`, after checking the values
// and that the library knows where the logs go.
template <typename Write>
ExitCode Append(DWORD kind, const WriteOptions& o, Write write) {
  if (ExitCode code = CheckValues(kind, o); code != ExitCode::kSuccess) return code;
  // Without a Program Files folder the library would write below the root.
  const LogLocations where = FindLogLocationsOrReport();
  if (where.status != 0) return ExitCode::kFailed;
  const DWORD status = write();
  if (status == 0) return ExitCode::kSuccess;
  std::string why = StatusText(status);
  if (status == QORLOG_STATUS_LOG_ERROR) why = DiagnoseAppendFailure(where, kind);
  return Fail(ExitCode::kFailed, "nothing written: " + why + " (status " + std::to_string(status) + ")");
}

void AddValueOptions(CLI::App* cmd, WriteOptions* o, DWORD kind) {
  const std::string sub_limit = std::to_string(SubCodeLimit(kind) - 1);
  cmd->add_option("--code", o->code, "dwCode, 0 to " + std::to_string(kCodeLimit - 1));
  cmd->add_option("--sub-code", o->sub_code, "dwSubCode, 0 to " + sub_limit);
}

}  // namespace

void AddWriteCommand(CLI::App& app, Outcome& outcome) {
  auto* cmd = app.add_subcommand("write", "Append one record through the library");
  cmd->require_subcommand(1);
  auto o = std::make_shared<WriteOptions>();

  auto* simple = cmd->add_subcommand("simple", "A simple record of a kind (default: etc)");
  AddKindOption(simple, "--kind", &o->kind, "Kind number or category name (anti-keylogger, ..., etc)");
  AddValueOptions(simple, o.get(), kEtcKind);
  simple->add_option("--text", o->text, "szText260 (UTF-8; cut at 259 UTF-16 units)");
  simple->callback([&outcome, o] {
    const DWORD kind = o->kind.value_or(kEtcKind);
    if (RecordKindOf(kind) != kRecordKindSimple) {
      std::string why = "kind " + std::to_string(kind);
      if (kind == QORLOG_KIND_FIREWALL) {
        why += " holds firewall records: use 'qorlog write fw'";
      } else if (kind == QORLOG_KIND_PCSCAN) {
        why += " holds PC-scan records: use 'qorlog write pcscan'";
      } else {
        why += " is read as PC-scan records (every kind below 1001 is): simple records need a kind above 1001";
      }
      outcome.exit_code = Fail(ExitCode::kUsage, why);
      return;
    }
    stSIMPLE_LOG_W r = {};
    r.dwCode = o->code;
    r.dwSubCode = o->sub_code;
    outcome.exit_code = Append(kind, *o, [&] {
      Fill(r.szText260, o->text, "--text");
      return QORLOG_WriteSimpleLogW(kind, &r);
    });
  });

  auto* fw = cmd->add_subcommand("fw", "A firewall record (kind 1001)");
  AddValueOptions(fw, o.get(), QORLOG_KIND_FIREWALL);
  fw->add_option("--param", o->param, "dwParam");
  fw->add_option("--text64", o->text64, "szText64 (UTF-8; cut at 63 UTF-16 units)");
  fw->add_option("--text260", o->text260, "szText260 (UTF-8; cut at 259 UTF-16 units)");
  fw->add_option("--text64b", o->text64b, "szText64b (UTF-8; cut at 63 UTF-16 units)");
  fw->callback([&outcome, o] {
    stFW_LOG_W r = {};
    r.dwCode = o->code;
    r.dwSubCode = o->sub_code;
    r.dwParam = o->param;
    outcome.exit_code = Append(QORLOG_KIND_FIREWALL, *o, [&] {
      Fill(r.szText64, o->text64, "--text64");
      Fill(r.szText260, o->text260, "--text260");
      Fill(r.szText64b, o->text64b, "--text64b");
      return QORLOG_WriteFWLogW(&r);
    });
  });

  auto* pcscan = cmd->add_subcommand("pcscan", "A PC-scan record (kind 1000)");
  AddValueOptions(pcscan, o.get(), QORLOG_KIND_PCSCAN);
  pcscan->add_option("--text64", o->text64, "szText64 (UTF-8; cut at 63 UTF-16 units)");
  pcscan->add_option("--text260", o->text260, "szText260 (UTF-8; cut at 259 UTF-16 units)");
  pcscan->callback([&outcome, o] {
    stPC_SCAN_LOG_W r = {};
    r.dwCode = o->code;
    r.dwSubCode = o->sub_code;
    outcome.exit_code = Append(QORLOG_KIND_PCSCAN, *o, [&] {
      Fill(r.szText64, o->text64, "--text64");
      Fill(r.szText260, o->text260, "--text260");
      return QORLOG_WritePCScanLogW(&r);
    });
  });
}

}  // namespace qorlog::cli
