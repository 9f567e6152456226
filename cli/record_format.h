// How the qorlog program shows records: one flat view of any record kind,
// printed as a JSON object (one per line) or as rows of an aligned table.
// `show` and `watch` both print through here, so their keys are the same.
#pragma once

#include <iosfwd>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "api/qorlog.h"

namespace qorlog::cli {

struct RecordView {
  DWORD kind = 0;
  std::string file;  // the log file the record came from; empty when none
  SYSTEMTIME time = {};
  DWORD code = 0;
  DWORD sub_code = 0;
  std::optional<std::string> text64;   // PC scan and firewall
  std::string text260;                 // every kind
  std::optional<std::string> text64b;  // firewall
  std::optional<DWORD> param;          // firewall
};

RecordView ViewOf(const stPC_SCAN_LOG_W& rec, std::string file = {});
RecordView ViewOf(const stFW_LOG_W& rec, std::string file = {});
RecordView ViewOf(DWORD kind, const stSIMPLE_LOG_W& rec, std::string file = {});

// ISO 8601 local time with milliseconds, e.g. 2026-12-06T14:03:09.042.
std::string FormatTime(const SYSTEMTIME& t);

// The keys: kind, file, time, code, sub_code, then the record kind's own
// texts and values (text64, text260, text64b, param).
nlohmann::ordered_json ToJson(const RecordView& r);
// One JSON object on one line.
void PrintJsonLine(std::ostream& out, const RecordView& r);
// One line of text for a single record (used by the live viewer).
std::string ToLine(const RecordView& r);
// An aligned table with a header row; columns that no record has are left out.
void PrintTable(std::ostream& out, const std::vector<RecordView>& rows);

}  // namespace qorlog::cli
