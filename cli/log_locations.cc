#include "cli/log_locations.h"

#include "cli/exit_codes.h"
#include "cli/log_kind.h"
#include "logstore/log_util.h"
#include "platform/path_buffer.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace qorlog::cli {

namespace {

// Appends `part` with one separator of the system, as the library builds
// its paths.
std::string Join(const std::string& folder, std::u16string_view part) {
  constexpr char kSeparator = static_cast<char>(platform::kPathSeparator);
  std::string out = folder;
  if (out.empty() || (out.back() != kSeparator && out.back() != '/')) out += kSeparator;
  out += platform::Utf16ToUtf8(part);
  return out;
}

std::string Join(const std::string& folder, std::string_view part) { return Join(folder, platform::Utf8ToUtf16(part)); }

}  // namespace

std::string LogLocations::CommonLogFolder() const { return Join(program_files, kCommonLogSubfolder); }

std::string LogLocations::CategoryFolder(DWORD kind) const { return Join(CommonLogFolder(), CategoryName(kind)); }

std::string LogLocations::UpdateFolder() const { return Join(program_files, kUpdateSubfolder); }

LogLocations FindLogLocations() {
  char16_t buffer[platform::kMaxPath] = {};
  LogLocations where;
  where.status = QORLOG_GetProgramFilesPath(buffer, platform::kMaxPath);
  if (where.status == 0) where.program_files = platform::Utf16ToUtf8(buffer);
  return where;
}

std::string RegistryErrorText(DWORD status) {
  std::string why;
  switch (status) {
    case QORLOG_STATUS_FILE_NOT_FOUND:
      why = "the key is missing, or the file cannot be read";
      break;
    case QORLOG_STATUS_ACCESS_DENIED:
      why = "access denied";
      break;
    case QORLOG_STATUS_INVALID_DATA:
      why = "the value is missing or not a string";
      break;
    case QORLOG_STATUS_MORE_DATA:
      why = "the value is 260 characters or longer";
      break;
    default:
      why = "system error";
      break;
  }
  return "the registry file " + platform::RegistryFilePath() + " gives no Program Files folder (error " +
         std::to_string(status) + ": " + why + ")";
}

LogLocations FindLogLocationsOrReport() {
  LogLocations where = FindLogLocations();
  if (where.status != 0) Note(RegistryErrorText(where.status));
  return where;
}

}  // namespace qorlog::cli
