// RFC 5424 syslog messages for qorlog forward, framed by octet counting
// (RFC 6587) for a TCP or TLS stream:
//
//   LEN SP <PRI>1 TIMESTAMP HOSTNAME qorlog - MSGID [qorlog@EN kind=".." ...] MSG
//
// MSGID names the record kind (pcscan, firewall, simple); the structured
// data carries the raw values and texts; MSG holds the texts as UTF-8. LEN
// counts the bytes of what follows it, not characters: one wrong count would
// misframe every later message on the connection.
// Thread rules: a formatter is used by one thread.
#pragma once

#include <string>
#include <string_view>

#include "cli/export_time.h"
#include "cli/export_walk.h"

namespace qorlog::cli {

inline constexpr unsigned kDefaultEnterpriseNumber = 32473;  // the number set aside for examples
inline constexpr unsigned kDefaultFacility = 1;              // user-level messages
inline constexpr unsigned kSeverityInformational = 6;

// A PARAM-VALUE with '"', '\' and ']' escaped by a backslash.
std::string EscapeParamValue(std::string_view value);

// HOSTNAME: printable US-ASCII without spaces, at most 255 characters; "-"
// (no value) for an empty name.
std::string SyslogHostName(std::string_view name);

class SyslogFormatter {
 public:
  SyslogFormatter(std::string host, unsigned enterprise_number, unsigned facility);
  // Appends one framed message per record of the batch to *out.
  void Append(const Batch& batch, std::string* out);
  // One message, without its frame.
  std::string Message(const ExportFile& file, const RecordView& r, std::uint32_t index);

 private:
  std::string host_;
  std::string sd_id_;
  unsigned pri_;
  LocalTimeStamper stamper_;
};

}  // namespace qorlog::cli
