#include "cli/syslog_format.h"

#include "cli/export_json.h"
#include "logstore/log_format.h"

namespace qorlog::cli {

namespace {

const char* MsgIdOf(DWORD kind) {
  switch (RecordKindOf(kind)) {
    case kRecordKindPCScan:
      return "pcscan";
    case kRecordKindFirewall:
      return "firewall";
    default:
      return "simple";
  }
}

void AddParam(std::string* out, const char* name, std::string_view value) {
  *out += ' ';
  *out += name;
  *out += "=\"";
  *out += EscapeParamValue(value);
  *out += '"';
}

}  // namespace

std::string EscapeParamValue(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    if (c == '"' || c == '\\' || c == ']') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

std::string SyslogHostName(std::string_view name) {
  std::string out;
  for (char c : name.substr(0, 255)) out.push_back(c > 32 && c < 127 ? c : '-');
  return out.empty() ? "-" : out;
}

SyslogFormatter::SyslogFormatter(std::string host, unsigned enterprise_number, unsigned facility)
    : host_(SyslogHostName(host)),
      sd_id_("qorlog@" + std::to_string(enterprise_number)),
      pri_(facility * 8 + kSeverityInformational) {}

std::string SyslogFormatter::Message(const ExportFile& file, const RecordView& r, std::uint32_t index) {
  const StampedTime t = stamper_.Stamp(r.time);
  std::string m = "<" + std::to_string(pri_) + ">1 ";
  // TIME-SECFRAC allows at most six digits; the records have milliseconds.
  m += t.valid ? t.rfc3339 : "-";
  m += ' ';
  m += host_;
  m += " qorlog - ";
  m += MsgIdOf(file.kind);
  m += " [" + sd_id_;
  AddParam(&m, "kind", std::to_string(file.kind));
  AddParam(&m, "code", std::to_string(r.code));
  AddParam(&m, "subcode", std::to_string(r.sub_code));
  if (r.param) AddParam(&m, "param", std::to_string(*r.param));
  AddParam(&m, "category", file.category);
  AddParam(&m, "file", file.name);
  AddParam(&m, "index", std::to_string(index));
  AddParam(&m, "id", EventId(file, index));
  if (r.text64) AddParam(&m, "text64", *r.text64);
  AddParam(&m, "text260", r.text260);
  if (r.text64b) AddParam(&m, "text64b", *r.text64b);
  m += ']';
  const std::string message = MessageOf(r);
  if (!message.empty()) {
    m += ' ';
    m += message;
  }
  return m;
}

void SyslogFormatter::Append(const Batch& batch, std::string* out) {
  for (std::uint32_t i : batch.indices) {
    const std::string m = Message(*batch.file, batch.records[i], i);
    *out += std::to_string(m.size());
    *out += ' ';
    *out += m;
  }
}

}  // namespace qorlog::cli
