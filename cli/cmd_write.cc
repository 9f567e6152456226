// qorlog write simple|fw|pcscan: appends one record through the library's
// narrow writers (texts in UTF-8). Omitted fields are 0 or empty. Prints the
// status in words and exits non-zero when it is not 0.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include "api/qorlog.h"
#include "cli/commands.h"
#include "cli/status_text.h"

namespace qorlog::cli {

namespace {

struct WriteOptions {
  std::string kind = "etc";
  DWORD code = 0;
  DWORD sub_code = 0;
  DWORD param = 0;
  std::string text;
  std::string text64;
  std::string text260;
  std::string text64b;
};

// Copies UTF-8 text into a narrow field; the writer cuts it to the field.
template <std::size_t N>
void Fill(CHAR (&field)[N], const std::string& text) {
  std::snprintf(field, N, "%s", text.c_str());
}

int Report(DWORD status) {
  if (status == 0) return 0;
  std::cerr << "qorlog write: " << StatusText(status) << " (" << status << ")\n";
  return 1;
}

}  // namespace

void AddWriteCommand(CLI::App& app, Outcome& outcome) {
  auto* cmd = app.add_subcommand("write", "Append one record through the library");
  cmd->require_subcommand(1);
  auto o = std::make_shared<WriteOptions>();

  auto* simple = cmd->add_subcommand("simple", "A simple record of a kind (default: etc)");
  simple->add_option("--kind", o->kind, "Kind id or category name (\"anti keylogger\", \"etc\", ...)");
  simple->add_option("--code", o->code, "dwCode");
  simple->add_option("--sub-code", o->sub_code, "dwSubCode");
  simple->add_option("--text", o->text, "szText260 (UTF-8; cut at 259 characters)");
  simple->callback([&outcome, o] {
    DWORD kind = 0;
    if (!ParseKind(o->kind, &kind)) {
      std::cerr << "qorlog write: unknown kind \"" << o->kind << "\"\n";
      outcome.exit_code = 2;
      return;
    }
    stSIMPLE_LOG_A r;
    std::memset(&r, 0, sizeof r);
    r.dwCode = o->code;
    r.dwSubCode = o->sub_code;
    Fill(r.szText260, o->text);
    outcome.exit_code = Report(QORLOG_WriteSimpleLogA(kind, &r));
  });

  auto* fw = cmd->add_subcommand("fw", "A firewall record (kind 1001)");
  fw->add_option("--code", o->code, "dwCode");
  fw->add_option("--sub-code", o->sub_code, "dwSubCode");
  fw->add_option("--param", o->param, "dwParam");
  fw->add_option("--text64", o->text64, "szText64 (cut at 63 characters)");
  fw->add_option("--text260", o->text260, "szText260 (cut at 259 characters)");
  fw->add_option("--text64b", o->text64b, "szText64b (cut at 63 characters)");
  fw->callback([&outcome, o] {
    stFW_LOG_A r;
    std::memset(&r, 0, sizeof r);
    r.dwCode = o->code;
    r.dwSubCode = o->sub_code;
    r.dwParam = o->param;
    Fill(r.szText64, o->text64);
    Fill(r.szText260, o->text260);
    Fill(r.szText64b, o->text64b);
    outcome.exit_code = Report(QORLOG_WriteFWLogA(&r));
  });

  auto* pcscan = cmd->add_subcommand("pcscan", "A PC-scan record (kind 1000)");
  pcscan->add_option("--code", o->code, "dwCode");
  pcscan->add_option("--sub-code", o->sub_code, "dwSubCode");
  pcscan->add_option("--text64", o->text64, "szText64 (cut at 63 characters)");
  pcscan->add_option("--text260", o->text260, "szText260 (cut at 259 characters)");
  pcscan->callback([&outcome, o] {
    stPC_SCAN_LOG_A r;
    std::memset(&r, 0, sizeof r);
    r.dwCode = o->code;
    r.dwSubCode = o->sub_code;
    Fill(r.szText64, o->text64);
    Fill(r.szText260, o->text260);
    outcome.exit_code = Report(QORLOG_WritePCScanLogA(&r));
  });
}

QORLOG_CLI_COMMAND(AddWriteCommand);

}  // namespace qorlog::cli
