#include "cli/export_time.h"

#include <cstdio>
#include <regex>

#include "platform/file_time.h"
#include "platform/time_zone.h"

namespace qorlog::cli {

namespace {

// File time ticks from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kUnixEpochTicks = 116444736000000000;

// Writes `value` as `width` decimal digits (the lowest ones) at `p`.
char* Digits(char* p, unsigned value, int width) {
  for (int i = width - 1; i >= 0; --i, value /= 10) p[i] = static_cast<char>('0' + value % 10);
  return p + width;
}

}  // namespace

// Formatted by hand rather than with snprintf: this runs for every record
// exported, and the C library's formatting was a tenth of the export's time.
void LocalTimeStamper::Stamp(const SYSTEMTIME& t, StampedTime* out) {
  out->unix_nanos = 0;
  out->valid = false;
  char buf[32];
  char* p = Digits(buf, t.wYear, 4);
  *p++ = '-';
  p = Digits(p, t.wMonth, 2);
  *p++ = '-';
  p = Digits(p, t.wDay, 2);
  *p++ = 'T';
  p = Digits(p, t.wHour, 2);
  *p++ = ':';
  p = Digits(p, t.wMinute, 2);
  *p++ = ':';
  p = Digits(p, t.wSecond, 2);
  *p++ = '.';
  p = Digits(p, t.wMilliseconds, 3);
  out->local.assign(buf, p);
  out->rfc3339.assign(buf, p);
  std::int64_t local = 0;
  if (!platform::SystemTimeToFileTime(t, &local)) return;
  const std::uint64_t key = (std::uint64_t{t.wYear} << 32) | (std::uint64_t{t.wMonth} << 24) |
                            (std::uint64_t{t.wDay} << 16) | (std::uint64_t{t.wHour} << 8) | (t.wMinute / 15);
  if (key != cached_key_) {
    int minutes = 0;
    if (!platform::LocalTimeOffset(t, &minutes)) return;
    cached_key_ = key;
    cached_minutes_ = minutes;
  }
  const unsigned m = static_cast<unsigned>(cached_minutes_ < 0 ? -cached_minutes_ : cached_minutes_);
  p = buf;
  *p++ = cached_minutes_ < 0 ? '-' : '+';
  p = Digits(p, m / 60, 2);
  *p++ = ':';
  p = Digits(p, m % 60, 2);
  out->rfc3339.append(buf, p);
  const std::int64_t utc_ticks = local - std::int64_t{cached_minutes_} * 60 * platform::kFileTimeTicksPerSecond;
  out->unix_nanos = (utc_ticks - kUnixEpochTicks) * 100;
  out->valid = true;
}

std::optional<std::int64_t> ParseLocalTimeArg(const std::string& text) {
  static const std::regex kForm(R"((\d{4})-(\d{2})-(\d{2})(?:[T ](\d{2}):(\d{2})(?::(\d{2})(?:\.(\d{1,3}))?)?)?)");
  std::smatch m;
  if (!std::regex_match(text, m, kForm)) return std::nullopt;
  auto num = [&](int i) { return m[i].matched ? static_cast<std::uint16_t>(std::stoi(m[i].str())) : std::uint16_t{0}; };
  SYSTEMTIME t = {};
  t.wYear = num(1);
  t.wMonth = num(2);
  t.wDay = num(3);
  t.wHour = num(4);
  t.wMinute = num(5);
  t.wSecond = num(6);
  if (m[7].matched) {
    std::string ms = m[7].str();
    ms.resize(3, '0');
    t.wMilliseconds = static_cast<std::uint16_t>(std::stoi(ms));
  }
  return LocalFileTime(t);
}

std::optional<std::int64_t> LocalFileTime(const SYSTEMTIME& t) {
  std::int64_t ft = 0;
  if (!platform::SystemTimeToFileTime(t, &ft)) return std::nullopt;
  return ft;
}

}  // namespace qorlog::cli
