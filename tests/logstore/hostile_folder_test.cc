// Links and odd entries planted in the log tree: the writer never writes or
// creates through a link, pruning never deletes through one, nothing outside
// the log folders changes, and the status says the append failed.
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "api/status.h"
#include "logstore/log_reducer.h"
#include "platform/errors.h"
#include "tests/logstore/log_folder_fixture.h"

namespace qorlog::testing {
namespace {

namespace fs = std::filesystem;

// Every entry below `root` with its kind, mode and contents.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    const auto status = e.symlink_status();
    std::string what = std::to_string(static_cast<int>(status.type())) + " " +
                       std::to_string(static_cast<unsigned>(status.permissions()));
    if (status.type() == fs::file_type::regular) what += " " + ReadFile(e.path());
    out[e.path().string()] = what;
  }
  return out;
}

// More log files of earlier days than pruning keeps.
void FillWithOldLogFiles(const fs::path& folder) {
  for (int day = 1; day <= 28; ++day) {
    for (int n = 0; n < 4; ++n) {
      char name[32];
      std::snprintf(name, sizeof name, "202512%02d%02d.log", day, n);
      MakeLogFile(folder / name, 12, 0);
    }
  }
}

class HostileFolderTest : public LogFolderTest {};

TEST_F(HostileFolderTest, NothingIsWrittenOrDeletedThroughALink) {
  const fs::path outside = env_.root() / "outside";
  const fs::path today = Folder() / "2026010100.log";
  struct Case {
    const char* what;
    std::function<void()> plant;
    DWORD append_status;
    DWORD reduce_status;
  } cases[] = {
      {"today's log file is a link",
       [&] {
         fs::create_directories(Folder());
         fs::create_symlink(outside / "2026010100.log", today);
       },
       QORLOG_STATUS_LOG_ERROR, 0},
      {"the category folder is a link",
       [&] {
         fs::create_directories(Folder().parent_path());
         fs::create_directory_symlink(outside, Folder());
       },
       QORLOG_STATUS_LOG_ERROR, platform::kErrorAccessDenied},
      {"the log root is a link",
       [&] {
         fs::create_directories(Folder().parent_path().parent_path());
         fs::create_directory_symlink(outside, Folder().parent_path());
         fs::create_directories(outside / Folder().filename());
         FillWithOldLogFiles(outside / Folder().filename());
       },
       QORLOG_STATUS_LOG_ERROR, platform::kErrorAccessDenied},
      {"today's log file is a folder", [&] { fs::create_directories(today); }, QORLOG_STATUS_LOG_ERROR, 0},
  };
  for (const auto& c : cases) {
    fs::remove_all(Folder().parent_path());
    fs::remove_all(outside);
    // Outside: a valid log file of today, and enough earlier ones that
    // pruning would delete some.
    MakeLogFile(outside / "2026010100.log", 12, 0);
    FillWithOldLogFiles(outside);
    c.plant();
    const auto before = Snapshot(outside);

    EXPECT_EQ(AppendSimple(), c.append_status) << c.what;
    EXPECT_EQ(CLogReducer().Reduce(platform::Utf8ToUtf16(Folder().string())), c.reduce_status) << c.what;
    EXPECT_EQ(Snapshot(outside), before) << c.what;
  }
}

}  // namespace
}  // namespace qorlog::testing
