#include "cli/record_format.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

#include "platform/text.h"

namespace qorlog::cli {

namespace {

template <std::size_t N>
std::string Text(const WCHAR (&field)[N]) {
  // Most texts are ASCII: such a text is copied unit for unit, found in the
  // same pass that finds its end. Any other goes through the converter.
  std::size_t n = 0;
  while (n < N && field[n] != 0 && field[n] < 0x80) ++n;
  if (n == N || field[n] == 0) return std::string(field, field + n);
  return platform::Utf16ToUtf8(std::u16string_view(field, platform::WideLength(field, N)));
}

struct Column {
  std::string title;
  std::vector<std::string> cells;
};

}  // namespace

RecordView ViewOf(const stPC_SCAN_LOG_W& rec, std::string file) {
  RecordView v;
  v.kind = QORLOG_KIND_PCSCAN;
  v.file = std::move(file);
  v.time = rec.stTime;
  v.code = rec.dwCode;
  v.sub_code = rec.dwSubCode;
  v.text64 = Text(rec.szText64);
  v.text260 = Text(rec.szText260);
  return v;
}

RecordView ViewOf(const stFW_LOG_W& rec, std::string file) {
  RecordView v;
  v.kind = QORLOG_KIND_FIREWALL;
  v.file = std::move(file);
  v.time = rec.stTime;
  v.code = rec.dwCode;
  v.sub_code = rec.dwSubCode;
  v.text64 = Text(rec.szText64);
  v.text260 = Text(rec.szText260);
  v.text64b = Text(rec.szText64b);
  v.param = rec.dwParam;
  return v;
}

RecordView ViewOf(DWORD kind, const stSIMPLE_LOG_W& rec, std::string file) {
  RecordView v;
  v.kind = kind;
  v.file = std::move(file);
  v.time = rec.stTime;
  v.code = rec.dwCode;
  v.sub_code = rec.dwSubCode;
  v.text260 = Text(rec.szText260);
  return v;
}

std::string FormatTime(const SYSTEMTIME& t) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04u-%02u-%02uT%02u:%02u:%02u.%03u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                t.wSecond, t.wMilliseconds);
  return buf;
}

nlohmann::ordered_json ToJson(const RecordView& r) {
  nlohmann::ordered_json j;
  j["kind"] = r.kind;
  j["file"] = r.file;
  j["time"] = FormatTime(r.time);
  j["code"] = r.code;
  j["sub_code"] = r.sub_code;
  if (r.text64) j["text64"] = *r.text64;
  j["text260"] = r.text260;
  if (r.text64b) j["text64b"] = *r.text64b;
  if (r.param) j["param"] = *r.param;
  return j;
}

void PrintJsonLine(std::ostream& out, const RecordView& r) {
  // Replace rather than throw on text that is not valid UTF-8.
  out << ToJson(r).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

std::string ToLine(const RecordView& r) {
  std::string line = FormatTime(r.time) + "  kind " + std::to_string(r.kind) + "  code " + std::to_string(r.code) +
                     "  sub " + std::to_string(r.sub_code);
  if (r.param) line += "  param " + std::to_string(*r.param);
  if (r.text64) line += "  " + *r.text64;
  if (!r.text260.empty()) line += "  " + r.text260;
  if (r.text64b && !r.text64b->empty()) line += "  " + *r.text64b;
  return line;
}

void PrintTable(std::ostream& out, const std::vector<RecordView>& rows) {
  const bool any64 = std::any_of(rows.begin(), rows.end(), [](auto& r) { return r.text64.has_value(); });
  const bool any64b = std::any_of(rows.begin(), rows.end(), [](auto& r) { return r.text64b.has_value(); });
  const bool anyParam = std::any_of(rows.begin(), rows.end(), [](auto& r) { return r.param.has_value(); });
  std::vector<Column> cols = {{"TIME", {}}, {"CODE", {}}, {"SUB", {}}};
  if (anyParam) cols.push_back({"PARAM", {}});
  if (any64) cols.push_back({"TEXT64", {}});
  if (any64b) cols.push_back({"TEXT64B", {}});
  cols.push_back({"TEXT260", {}});
  for (const auto& r : rows) {
    std::size_t c = 0;
    cols[c++].cells.push_back(FormatTime(r.time));
    cols[c++].cells.push_back(std::to_string(r.code));
    cols[c++].cells.push_back(std::to_string(r.sub_code));
    if (anyParam) cols[c++].cells.push_back(r.param ? std::to_string(*r.param) : "");
    if (any64) cols[c++].cells.push_back(r.text64.value_or(""));
    if (any64b) cols[c++].cells.push_back(r.text64b.value_or(""));
    cols[c++].cells.push_back(r.text260);
  }
  // Width in code points, so that non-ASCII text stays aligned.
  auto width = [](const std::string& s) {
    return static_cast<std::size_t>(std::count_if(s.begin(), s.end(), [](char ch) { return (ch & 0xC0) != 0x80; }));
  };
  std::vector<std::size_t> widths;
  for (const auto& col : cols) {
    std::size_t w = width(col.title);
    for (const auto& cell : col.cells) w = std::max(w, width(cell));
    widths.push_back(w);
  }
  auto print_row = [&](auto cell_of) {
    std::string line;
    for (std::size_t c = 0; c < cols.size(); ++c) {
      const std::string cell = cell_of(c);
      line += cell;
      if (c + 1 < cols.size()) line += std::string(widths[c] - width(cell) + 2, ' ');
    }
    out << line << "\n";
  };
  print_row([&](std::size_t c) { return cols[c].title; });
  for (std::size_t i = 0; i < rows.size(); ++i) print_row([&](std::size_t c) { return cols[c].cells[i]; });
}

}  // namespace qorlog::cli
