#include "cli/append_failure.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "cli/log_kind.h"
#include "logstore/log_util.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/system.h"
#include "platform/text.h"

namespace qorlog::cli {

namespace fs = std::filesystem;

namespace {

// A day's log files are named <YYYYMMDD><nn>.log, nn from 00 to 99.
std::string TodaysName(int number) {
  const SYSTEMTIME now = platform::GetLocalTime();
  char name[32];
  std::snprintf(name, sizeof name, "%04u%02u%02u%02d.log", now.wYear, now.wMonth, now.wDay, number);
  return name;
}

// Whether a new file can be made in `folder`: makes one with a name no log
// file can have, and deletes it again. 0 or the system error.
DWORD ProbeCreate(const std::string& folder) {
  const std::u16string probe = platform::Utf8ToUtf16(folder + "/.qorlog-write-probe");
  platform::File file;
  DWORD error = 0;
  if (!file.Open(probe, platform::File::modeCreate | platform::File::modeWrite | platform::File::shareExclusive,
                 &error)) {
    return error;
  }
  file.Close();
  platform::DeleteFileNamed(probe);
  return 0;
}

std::string Denied(DWORD error, const std::string& what) {
  if (error == platform::kErrorAccessDenied) return "access denied: " + what;
  return what + " (system error " + std::to_string(error) + ")";
}

}  // namespace

std::string DiagnoseAppendFailure(const LogLocations& where, DWORD kind) {
  const fs::path folder = where.CategoryFolder(kind);
  std::error_code ec;

  // A file where the log folder or one of its parents should be. The walk
  // starts at the root as a whole: on Windows a drive name alone ("C:")
  // names the drive's current folder, not its root.
  fs::path deepest = folder.root_path();  // the deepest folder of the path that exists
  for (fs::path step = deepest; const fs::path& part : folder.relative_path()) {
    step /= part;
    const auto status = fs::status(step, ec);
    if (!fs::exists(status)) break;
    if (!fs::is_directory(status)) return step.string() + " is a file, where a folder of the log path should be";
    deepest = step;
  }
  if (deepest != folder) {
    if (DWORD error = ProbeCreate(deepest.string()); error != 0) {
      return Denied(error, "cannot create the log folder " + folder.string() + " in " + deepest.string());
    }
    return "the log folder " + folder.string() + " could not be created";
  }

  // Today's newest name: a folder there, or the last name of the day used.
  for (int number = static_cast<int>(kFilesPerDay) - 1; number >= 0; --number) {
    const fs::path newest = folder / TodaysName(number);
    const auto status = fs::status(newest, ec);
    if (!fs::exists(status)) continue;
    if (fs::is_directory(status)) return newest.string() + " is a folder, where today's log file should be";
    if (number == static_cast<int>(kFilesPerDay) - 1) {
      return "the day's " + std::to_string(kFilesPerDay) + " log files are used up (" + TodaysName(0) + " to " +
             TodaysName(number) + "); writing goes on tomorrow";
    }
    platform::File file;
    DWORD error = 0;
    if (!file.Open(platform::Utf8ToUtf16(newest.string()), platform::File::modeReadWrite | platform::File::shareDenyWrite,
                   &error)) {
      return Denied(error, "cannot write " + newest.string());
    }
    break;
  }
  if (DWORD error = ProbeCreate(folder.string()); error != 0) {
    return Denied(error, "cannot create files in " + folder.string());
  }
  return "no cause found in " + folder.string() + "; the library reported a file error";
}

}  // namespace qorlog::cli
