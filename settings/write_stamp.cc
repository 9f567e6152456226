// The write-time stamp: formatting it, and testing it against a maximum age.
#include <cstdio>
#include <vector>

#include "platform/file_time.h"
#include "platform/system.h"
#include "settings/ini_text.h"
#include "settings/secure_ini_document.h"

namespace qorlog {

namespace {

// Splits at '.' and converts each non-empty field as a decimal.
std::vector<int32_t> StampFields(std::u16string_view stamp) {
  std::vector<int32_t> fields;
  while (!stamp.empty()) {
    const std::size_t dot = stamp.find(u'.');
    const std::u16string_view field = stamp.substr(0, dot);
    if (!field.empty()) fields.push_back(settings::DecimalToInt(field));
    if (dot == std::u16string_view::npos) break;
    stamp.remove_prefix(dot + 1);
  }
  return fields;
}

// A field that does not fit the calendar field's 16 bits is no time at all
// (rather than wrapping into some other, possible, date).
bool ToWord(int32_t value, uint16_t* out) {
  if (value < 0 || value > 0xFFFF) return false;
  *out = static_cast<uint16_t>(value);
  return true;
}

}  // namespace

std::u16string CSecureIniDocument::FormatStamp(const SYSTEMTIME& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d.%02d.%02d.%02d.%02d.%02d", t.wYear, t.wMonth, t.wDay,
                t.wHour, t.wMinute, t.wSecond);
  return std::u16string(text, text + std::char_traits<char>::length(text));
}

BOOL CSecureIniDocument::IsStampFresh(std::u16string_view stamp, int64_t max_age_seconds) {
  return IsStampFresh(stamp, max_age_seconds, platform::GetLocalTime());
}

BOOL CSecureIniDocument::IsStampFresh(std::u16string_view stamp, int64_t max_age_seconds,
                                      const SYSTEMTIME& now) {
  const std::vector<int32_t> fields = StampFields(stamp);
  if (fields.size() < 6) return 0;
  SYSTEMTIME written{};
  if (!ToWord(fields[0], &written.wYear) || !ToWord(fields[1], &written.wMonth) ||
      !ToWord(fields[2], &written.wDay) || !ToWord(fields[3], &written.wHour) ||
      !ToWord(fields[4], &written.wMinute) || !ToWord(fields[5], &written.wSecond)) {
    return 0;
  }
  int64_t written_ticks = 0;
  int64_t now_ticks = 0;
  if (!platform::SystemTimeToFileTime(written, &written_ticks) ||
      !platform::SystemTimeToFileTime(now, &now_ticks)) {
    return 0;
  }
  // limit = now - age, in 128 bits: any 64-bit count of seconds fits.
  const __int128 limit = static_cast<__int128>(now_ticks) -
                         static_cast<__int128>(max_age_seconds) * platform::kFileTimeTicksPerSecond;
  return written_ticks >= limit ? 1 : 0;
}

}  // namespace qorlog
