// Times as the export formats give them: the record's local time with the
// offset from UTC that the machine's time zone gives for it (RFC 3339), the
// same instant in Unix nanoseconds, and the --since/--until arguments.
// Thread rules: a LocalTimeStamper is used by one thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "api/qorlog.h"

namespace qorlog::cli {

struct StampedTime {
  std::string local;             // 2024-03-05T14:09:08.042 (as FormatTime gives it)
  std::string rfc3339;           // 2024-03-05T14:09:08.042+01:00
  std::int64_t unix_nanos = 0;   // the same instant since 1970-01-01 UTC
  bool valid = false;            // false for an impossible date: rfc3339 then has no offset
};

// Converts record times. Asking the zone costs a system call or two, and the
// records of a file come in time order, so the offset of the last quarter
// hour asked is kept (zones change their offset only on quarter hours).
class LocalTimeStamper {
 public:
  StampedTime Stamp(const SYSTEMTIME& t) {
    StampedTime out;
    Stamp(t, &out);
    return out;
  }
  // The same into *out, whose strings keep their room from call to call.
  void Stamp(const SYSTEMTIME& t, StampedTime* out);

 private:
  std::uint64_t cached_key_ = ~std::uint64_t{0};
  int cached_minutes_ = 0;
};

// A local time from the command line: "2024-03-05", "2024-03-05T14:09",
// "2024-03-05 14:09:08" or with ".042"; as a local file time (the scale of
// platform::SystemTimeToFileTime). Nothing for text of another form.
std::optional<std::int64_t> ParseLocalTimeArg(const std::string& text);

// The local file time of a record's time; nothing for an impossible date.
std::optional<std::int64_t> LocalFileTime(const SYSTEMTIME& t);

}  // namespace qorlog::cli
