// The Win32 files, folders and directory search: share modes between two
// handles and between two processes, the open dispositions, renaming and
// deleting beside open handles, replacing a file's contents, the search's
// codes, and the failure paths through the fault seam. Windows only; run
// under Wine.
//
// The program is its own second process: "--open PATH FLAGS" ends with the
// error of opening PATH with FLAGS (0 when it opened); "--hold PATH FOLDER"
// holds PATH open as an appender, makes FOLDER/held and ends once
// FOLDER/release exists (see main at the end).
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/errors.h"
#include "platform/fault_injection.h"
#include "platform/file.h"
#include "platform/find_names.h"
#include "platform/fs.h"
#include "platform/process.h"
#include "platform/replace_file.h"
#include "platform/system.h"
#include "platform/text.h"

namespace qorlog::platform {
namespace {

std::string g_self;  // this program's path, from argv[0]

constexpr unsigned kViewer = File::modeRead | File::shareDenyNone;
constexpr unsigned kAppender = File::modeReadWrite | File::shareDenyWrite;
constexpr unsigned kExclusive = File::modeReadWrite | File::shareExclusive;

// A fresh folder under the temporary folder, removed afterwards.
class Win32FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("qorlog-files-" + std::to_string(std::random_device()()));
    ASSERT_EQ(CreateFolder(Path("")), 0u);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  std::u16string Path(const std::string& name) const { return Utf8ToUtf16((dir_ / name).string()); }
  std::string Narrow(const std::string& name) const { return (dir_ / name).string(); }
  void MakeFile(const std::string& name, std::string_view bytes) {
    File f;
    ASSERT_TRUE(f.Open(Path(name), File::modeCreate | File::modeWrite | File::shareExclusive));
    f.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  }
  std::string Contents(const std::string& name) {
    File f;
    EXPECT_TRUE(f.Open(Path(name), kViewer));
    std::string text(64, '\0');
    text.resize(f.Read(text.data(), static_cast<std::uint32_t>(text.size())));
    return text;
  }

  std::filesystem::path dir_;
};

TEST_F(Win32FilesTest, ShareModesBetweenTwoHandles) {
  MakeFile("log", "x");
  struct Row {
    unsigned first, second;
    DWORD expected;
  } rows[] = {
      {kAppender, kViewer, 0},
      {kViewer, kAppender, 0},
      {kAppender, kAppender, kErrorSharingViolation},
      {kExclusive, kViewer, kErrorSharingViolation},
      {kViewer, kExclusive, kErrorSharingViolation},
      {File::modeRead | File::shareDenyRead, kViewer, kErrorSharingViolation},
      {File::modeRead | File::shareDenyRead, File::modeWrite | File::shareDenyNone, 0},
      {File::modeRead | File::shareDenyWrite, File::modeRead | File::shareDenyWrite, 0},
  };
  for (const Row& row : rows) {
    File a, b;
    ASSERT_TRUE(a.Open(Path("log"), row.first));
    DWORD error = 99;
    EXPECT_EQ(b.Open(Path("log"), row.second, &error), row.expected == 0) << row.first << " " << row.second;
    if (row.expected != 0) {
      EXPECT_EQ(error, row.expected) << row.first << " " << row.second;
      EXPECT_FALSE(b.IsOpen());
    }
  }
}

TEST_F(Win32FilesTest, ShareModesBetweenTwoProcesses) {
  MakeFile("log", "x");
  const std::string log = Narrow("log");
  auto open_elsewhere = [&](unsigned flags) {
    DWORD exit_code = 99;
    EXPECT_EQ(StartAndWait({g_self, "--open", log, std::to_string(flags)}, ShowMode::kHidden, &exit_code), 0u);
    return exit_code;
  };
  {
    File appender;
    ASSERT_TRUE(appender.Open(Path("log"), kAppender));
    EXPECT_EQ(open_elsewhere(kViewer), 0u);
    EXPECT_EQ(open_elsewhere(kAppender), kErrorSharingViolation);
  }
  EXPECT_EQ(open_elsewhere(kAppender), 0u);

  // The other process holds it as an appender: a viewer comes in, a second
  // appender, a delete and renames are refused, and the file stays.
  std::atomic<DWORD> held_exit = 99;
  std::thread holder([&] {
    DWORD code = 98;
    StartAndWait({g_self, "--hold", log, dir_.string()}, ShowMode::kHidden, &code);
    held_exit = code;
  });
  // Lets the other process go on every way out of the test, failures too.
  struct LetGo {
    std::function<void()> run;
    ~LetGo() { run(); }
  } let_go{[&] {
    MakeFile("release", "");
    if (holder.joinable()) holder.join();
  }};
  while (!PathExists(Path("held")) && held_exit == 99) SleepMilliseconds(10);
  ASSERT_EQ(held_exit, 99u) << "the other process could not hold the file";
  File viewer, appender;
  EXPECT_TRUE(viewer.Open(Path("log"), kViewer));
  DWORD error = 0;
  EXPECT_FALSE(appender.Open(Path("log"), kAppender, &error));
  EXPECT_EQ(error, kErrorSharingViolation);
  viewer.Close();
  MakeFile("new", "n");
  EXPECT_EQ(DeleteFileNamed(Path("log")), kErrorSharingViolation);
  EXPECT_EQ(MoveFileNamed(Path("log"), Path("moved")), kErrorSharingViolation);
  EXPECT_EQ(ReplaceFileNamed(Path("new"), Path("log")), kErrorSharingViolation);
  EXPECT_EQ(Contents("log"), "x");
  let_go.run();
  EXPECT_EQ(held_exit, 0u);
  EXPECT_EQ(DeleteFileNamed(Path("log")), 0u);
  EXPECT_FALSE(PathExists(Path("log")));
}

TEST_F(Win32FilesTest, DispositionsAndWhatOpenRefuses) {
  MakeFile("log", "abc");
  File f;
  DWORD error = 0;
  EXPECT_FALSE(f.Open(Path("log"), File::modeCreateNew | File::modeWrite | File::shareExclusive, &error));
  EXPECT_EQ(error, kErrorFileExists);
  EXPECT_EQ(Contents("log"), "abc");
  ASSERT_TRUE(f.Open(Path("log"), File::modeCreate | File::modeNoTruncate | kAppender));
  EXPECT_EQ(f.GetLength(), 3u);
  ASSERT_TRUE(f.Open(Path("log"), File::modeCreate | kAppender));
  EXPECT_EQ(f.GetLength(), 0u);
  ASSERT_TRUE(f.Open(Path("fresh"), File::modeCreateNew | kAppender));
  f.Close();

  struct Row {
    std::string name;
    DWORD expected;
  } rows[] = {{"missing", kErrorFileNotFound}, {"no-folder/log", kErrorPathNotFound}, {"", kErrorAccessDenied}};
  for (const Row& row : rows) {
    error = 0;
    const std::u16string path = Path(row.name);
    const bool opened = f.Open(path, kViewer, &error);
    const DWORD last = GetLastError();
    EXPECT_FALSE(opened) << row.name;
    EXPECT_EQ(error, row.expected) << row.name;
    EXPECT_EQ(last, row.expected) << row.name;
  }
  std::error_code no_links;
  std::filesystem::create_symlink(dir_ / "fresh", dir_ / "link", no_links);
  if (!no_links) {
    error = 0;
    EXPECT_FALSE(f.Open(Path("link"), kViewer, &error));
    EXPECT_EQ(error, kErrorAccessDenied);
  }
}

TEST_F(Win32FilesTest, ReadWriteSeekAndLength) {
  File f;
  ASSERT_TRUE(f.Open(Path("log"), File::modeCreate | kAppender));
  f.Write("hello world", 11);
  EXPECT_EQ(f.GetPosition(), 11u);
  EXPECT_EQ(f.Seek(-5, File::current), 6u);
  char buf[16] = {};
  EXPECT_EQ(f.Read(buf, sizeof buf), 5u);
  EXPECT_EQ(std::string(buf, 5), "world");
  EXPECT_EQ(f.Read(buf, sizeof buf), 0u);
  EXPECT_THROW(f.Seek(-1, File::begin), FileException);
  // Past 4 GiB: the length and the search's size halves.
  f.SetLength((std::uint64_t{1} << 32) + 5);
  EXPECT_EQ(f.SeekToEnd(), (std::uint64_t{1} << 32) + 5);
  f.Close();
  std::vector<FindData> found;
  ASSERT_EQ(FindFiles(Path("log"), &found), 0u);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].size_high, 1u);
  EXPECT_EQ(found[0].size_low, 5u);

  File viewer;
  ASSERT_TRUE(viewer.Open(Path("log"), kViewer));
  try {
    viewer.Write("x", 1);
    ADD_FAILURE() << "a viewer wrote";
  } catch (const FileException& e) {
    EXPECT_EQ(e.os_error(), kErrorAccessDenied);
  }
  viewer.Close();
  EXPECT_THROW(viewer.Read(buf, 1), FileException);
}

TEST_F(Win32FilesTest, RelaxShareLetsInWhatItNoLongerDenies) {
  File writer, viewer;
  DWORD error = 0;
  EXPECT_FALSE(writer.RelaxShare(File::shareDenyNone, &error));
  EXPECT_EQ(error, kErrorInvalidHandle);
  ASSERT_TRUE(writer.Open(Path("log"), File::modeCreate | kExclusive));
  writer.Write("abc", 3);
  EXPECT_FALSE(viewer.Open(Path("log"), kViewer));
  ASSERT_TRUE(writer.RelaxShare(File::shareDenyWrite));
  EXPECT_EQ(writer.GetPosition(), 3u);
  writer.Write("d", 1);
  EXPECT_TRUE(viewer.Open(Path("log"), kViewer));
  File appender;
  EXPECT_FALSE(appender.Open(Path("log"), kAppender, &error));
  EXPECT_EQ(error, kErrorSharingViolation);
  EXPECT_FALSE(writer.RelaxShare(File::shareExclusive, &error));
  EXPECT_EQ(error, kErrorInvalidParameter);
  EXPECT_TRUE(writer.IsOpen());
  EXPECT_EQ(Contents("log"), "abcd");
}

TEST_F(Win32FilesTest, FoldersRenamesAndDeletes) {
  EXPECT_EQ(CreateFolder(Path("")), kErrorAlreadyExists);
  EXPECT_EQ(CreateFolder(Path("a\\b")), kErrorPathNotFound);
  EXPECT_EQ(CreateFolderTree(Path("a\\b\\c")), 0u);
  EXPECT_TRUE(IsFolder(Path("a\\b\\c")));
  EXPECT_EQ(DeleteFileNamed(Path("a")), kErrorAccessDenied);

  MakeFile("one", "1");
  MakeFile("two", "2");
  EXPECT_EQ(MoveFileNamed(Path("one"), Path("two")), kErrorFileExists);
  EXPECT_EQ(ReplaceFileNamed(Path("one"), Path("two")), 0u);
  EXPECT_EQ(Contents("two"), "1");
  EXPECT_FALSE(PathExists(Path("one")));
  EXPECT_EQ(MoveFileNamed(Path("two"), Path("three")), 0u);
  EXPECT_EQ(ReplaceFileNamed(Path("three"), Path("four")), 0u);  // no target yet

  std::filesystem::permissions(dir_ / "four", std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::remove);
  EXPECT_EQ(DeleteFileNamed(Path("four")), kErrorAccessDenied);
  EXPECT_TRUE(SetAttributesNormal(Path("four")));
  EXPECT_EQ(DeleteFileNamed(Path("four")), 0u);
  EXPECT_EQ(DeleteFileNamed(Path("four")), kErrorFileNotFound);
  EXPECT_EQ(DeleteFileNamed(Path("none/four")), kErrorPathNotFound);
}

TEST_F(Win32FilesTest, ReplacingContentsLeavesOneWholeFile) {
  ASSERT_EQ(ReplaceFileContents(Path("cursor.json"), "first"), 0u);
  ASSERT_EQ(ReplaceFileContents(Path("cursor.json"), "second"), 0u);
  EXPECT_EQ(Contents("cursor.json"), "second");
  // A target held open cannot be replaced: the old contents stay.
  {
    File held;
    ASSERT_TRUE(held.Open(Path("cursor.json"), kViewer));
    EXPECT_NE(ReplaceFileContents(Path("cursor.json"), "third"), 0u);
  }
  EXPECT_EQ(Contents("cursor.json"), "second");
  EXPECT_EQ(ReplaceFileContents(Path("missing\\c.json"), "x"), kErrorPathNotFound);
  // No temporary file is left behind, after success or failure.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 1);
}

TEST_F(Win32FilesTest, SearchCodesNamesAndKinds) {
  MakeFile("2026010101.log", "12345");
  MakeFile("2026010102.log", "");
  MakeFile("2026010102.logx", "");
  ASSERT_EQ(CreateFolder(Path("2026010103.log")), 0u);

  std::vector<FindData> found;
  ASSERT_EQ(FindFiles(Path("*.LOG"), &found), 0u);
  ASSERT_EQ(found.size(), 3u);
  for (const FindData& d : found) {
    EXPECT_EQ(d.is_directory, d.name == u"2026010103.log");
    EXPECT_EQ(d.size_low, d.name == u"2026010101.log" ? 5u : 0u);
  }
  std::vector<std::u16string> names;
  EXPECT_EQ(FindFileNames(Path("20260101??.log"), &names), 0u);
  EXPECT_EQ(names.size(), 3u);
  std::u16string greatest;
  EXPECT_EQ(FindGreatestFileName(Path("*.log*"), &greatest), 0u);
  EXPECT_EQ(greatest, u"2026010103.log");

  FindData entry;
  ASSERT_TRUE(QueryFileEntry(Path(""), u"2026010101.log", &entry));
  EXPECT_EQ(entry.size_low, 5u);
  EXPECT_FALSE(entry.is_directory);
  EXPECT_FALSE(QueryFileEntry(Path(""), u"gone", &entry));

  ASSERT_EQ(CreateFolder(Path("empty")), 0u);
  struct Row {
    std::string pattern;
    DWORD expected;
  } rows[] = {{"*.txt", kErrorFileNotFound}, {"empty/*.log", kErrorFileNotFound}, {"missing/*", kErrorPathNotFound}};
  for (const Row& row : rows) {
    EXPECT_EQ(FindFiles(Path(row.pattern), &found), row.expected) << row.pattern;
    EXPECT_TRUE(found.empty());
    EXPECT_EQ(FindFileNames(Path(row.pattern), &names), row.expected) << row.pattern;
    const std::u16string path = Path(row.pattern);
    const DWORD result = FindGreatestFileName(path, &greatest);
    const DWORD last = GetLastError();
    EXPECT_EQ(result, row.expected) << row.pattern;
    EXPECT_EQ(last, row.expected) << row.pattern;
  }
}

TEST_F(Win32FilesTest, FailuresThroughTheFaultSeam) {
  File f;
  DWORD error = 0;
  {
    fault::ScopedPlan plan;
    plan.Fail(fault::Call::kOpen, 1, kErrorTooManyOpenFiles);
    EXPECT_FALSE(f.Open(Path("log"), File::modeCreate | kAppender, &error));
    EXPECT_EQ(error, kErrorTooManyOpenFiles);
  }
  ASSERT_TRUE(f.Open(Path("log"), File::modeCreate | kAppender));
  {
    fault::ScopedPlan plan;
    plan.Cut(fault::Call::kWrite, 1, 2).Fail(fault::Call::kWrite, 3, kErrorDiskFull);
    f.Write("abcd", 4);  // the cut write is finished by the next
    EXPECT_EQ(plan.Count(fault::Call::kWrite), 2u);
    try {
      f.Write("efgh", 4);
      ADD_FAILURE() << "the write went through";
    } catch (const FileException& e) {
      EXPECT_EQ(e.cause(), FileException::diskFull);
    }
    plan.Cut(fault::Call::kRead, 1, 0);
    f.SeekToBegin();
    char buf[4];
    EXPECT_EQ(f.Read(buf, 4), 0u);  // what the end of the file looks like
    plan.Fail(fault::Call::kSetLength, 1, kErrorDiskFull);
    EXPECT_THROW(f.SetLength(100), FileException);
    plan.Fail(fault::Call::kClose, 1, kErrorDiskFull);
    EXPECT_EQ(f.Close(), kErrorDiskFull);
    EXPECT_FALSE(f.IsOpen());
    plan.Fail(fault::Call::kDelete, 1, kErrorAccessDenied)
        .Fail(fault::Call::kRename, 1, kErrorAccessDenied)
        .Fail(fault::Call::kCreateFolder, 1, kErrorAccessDenied);
    EXPECT_EQ(DeleteFileNamed(Path("log")), kErrorAccessDenied);
    EXPECT_EQ(MoveFileNamed(Path("log"), Path("other")), kErrorAccessDenied);
    EXPECT_EQ(CreateFolder(Path("sub")), kErrorAccessDenied);
  }
  EXPECT_EQ(Contents("log"), "abcd");
}

}  // namespace
}  // namespace qorlog::platform

int main(int argc, char** argv) {
  using qorlog::platform::File;
  using qorlog::platform::Utf8ToUtf16;
  if (argc == 4 && std::string(argv[1]) == "--open") {
    File f;
    DWORD error = 0;
    return f.Open(Utf8ToUtf16(argv[2]), static_cast<unsigned>(std::stoul(argv[3])), &error) ? 0 : static_cast<int>(error);
  }
  if (argc == 4 && std::string(argv[1]) == "--hold") {
    const std::string folder = argv[3];
    File held, marker;
    DWORD error = 0;
    if (!held.Open(Utf8ToUtf16(argv[2]), qorlog::platform::kAppender, &error)) return static_cast<int>(error);
    if (!marker.Open(Utf8ToUtf16(folder + "\\held"), File::modeCreate | File::modeWrite | File::shareDenyNone)) return 98;
    marker.Close();
    while (!qorlog::platform::PathExists(Utf8ToUtf16(folder + "\\release"))) qorlog::platform::SleepMilliseconds(10);
    return 0;
  }
  qorlog::platform::g_self = argv[0];
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
