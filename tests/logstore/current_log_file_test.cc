// Choosing the current file: reuse below 1 MiB, rotation to the next number,
// the used-up day, earlier days, ignored candidates, candidates held open
// elsewhere, and empty or damaged files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "logstore/current_log_file.h"
#include "platform/file.h"
#include "tests/logstore/log_folder_fixture.h"
#include "tests/platform/child_process.h"

namespace qorlog::testing {
namespace {

using ::testing::ElementsAre;

class CurrentFileTest : public LogFolderTest {
 protected:
  // What ChooseFileName picks in the "etc" folder today.
  std::string Choose(BOOL* chosen = nullptr) {
    CCurrentLogFile current(&TestClock);
    const BOOL ok = current.ChooseFileName(platform::Utf8ToUtf16(Folder().string() + "/"));
    if (chosen != nullptr) *chosen = ok;
    return ok ? platform::Utf16ToUtf8(current.name()) : std::string();
  }
  std::filesystem::path File(const std::string& name) const { return Folder() / name; }
};

TEST_F(CurrentFileTest, ReusesTheNewestFileBelowOneMebibyteAndRotatesAtIt) {
  MakeLogFile(File("2026010102.log"), 500);
  MakeLogFile(File("2026010103.log"), 0x100000 - 1);
  EXPECT_EQ(Choose(), "2026010103.log");
  ASSERT_EQ(AppendSimple(), 0u);
  EXPECT_EQ(std::filesystem::file_size(File("2026010103.log")), 0x100000u - 1 + 34);  // may end above 1 MiB

  ASSERT_EQ(AppendSimple(), 0u);  // now at 1 MiB or more: the next number
  EXPECT_THAT(FileNames(Folder()), ElementsAre("2026010102.log", "2026010103.log", "2026010104.log"));
  EXPECT_EQ(ReadFile(File("2026010104.log")).substr(0, 12), HeaderBytes(1));
}

TEST_F(CurrentFileTest, SequenceNinetyNineAtTheLimitEndsTheDay) {
  MakeLogFile(File("2026010198.log"), 0x100000);
  EXPECT_EQ(Choose(), "2026010199.log");
  MakeLogFile(File("2026010199.log"), 0x100000 - 1);
  EXPECT_EQ(Choose(), "2026010199.log");
  MakeLogFile(File("2026010199.log"), 0x100000);
  BOOL chosen = 1;
  Choose(&chosen);
  EXPECT_EQ(chosen, 0);
}

TEST_F(CurrentFileTest, NextNumberIsComputedWithoutOverflow) {
  // Ten-digit names are above 2^31: a 32-bit reading would overflow.
  EXPECT_EQ(CCurrentLogFile::NextFileName(u"2026010103.log"), u"2026010104.log");
  EXPECT_EQ(CCurrentLogFile::NextFileName(u"9999123198.log"), u"9999123199.log");
  EXPECT_EQ(CCurrentLogFile::NextFileName(u"2026010199.log"), u"");
  EXPECT_EQ(CCurrentLogFile::NextFileName(u"0000000007.log"), u"0000000008.log");
}

TEST_F(CurrentFileTest, EarlierDaysAreNeverAppendedTo) {
  MakeLogFile(File("2025123100.log"), 100);
  MakeLogFile(File("2025123199.log"), 0x100000);
  EXPECT_EQ(Choose(), "2026010100.log");
  ASSERT_EQ(AppendSimple(), 0u);
  EXPECT_EQ(std::filesystem::file_size(File("2025123100.log")), 100u);
}

TEST_F(CurrentFileTest, IgnoredCandidatesLeaveTheGreatestUsableName) {
  MakeLogFile(File("2026010101.log"), 200);
  MakeLogFile(File("2026010102.log"), 300);
  MakeLogFile(File("2026010103.log"), 0x200000);      // 2 MiB: never a candidate
  MakeLogFile(File("202601010a.log"), 100);           // a letter
  MakeLogFile(File("2026010105.LOG"), 100);           // capitals
  MakeLogFile(File("2026010106.log"), 100, 4, false); // header check fails
  MakeLogFile(File("2026010107.log"), 11);            // shorter than a header
  std::filesystem::create_directories(File("2026010108.log"));  // a folder
  EXPECT_EQ(Choose(), "2026010102.log");
  ASSERT_EQ(AppendSimple(), 0u);
  EXPECT_EQ(std::filesystem::file_size(File("2026010102.log")), 334u);
}

TEST_F(CurrentFileTest, CandidateHeldOpenElsewhereIsPassedOver) {
  MakeLogFile(File("2026010101.log"), 200);
  MakeLogFile(File("2026010102.log"), 300);
  const std::u16string held = platform::Utf8ToUtf16(File("2026010102.log").string());
  HeldChild viewer([&] {
    static platform::File f;  // stays open until the child exits
    return f.Open(held, platform::File::modeRead | platform::File::shareDenyNone) ? 0 : 1;
  });
  ASSERT_EQ(viewer.setup_result(), 0);
  EXPECT_EQ(Choose(), "2026010101.log");
  viewer.Release();
  EXPECT_EQ(Choose(), "2026010102.log");
}

TEST_F(CurrentFileTest, SearchHandsOverTheChosenFileOpenForAppending) {
  MakeLogFile(File("2026010101.log"), 200);
  MakeLogFile(File("2026010102.log"), 300, 5);
  MakeLogFile(File("2026010103.log"), 100, 4, false);  // header check fails
  const std::u16string folder = platform::Utf8ToUtf16(Folder().string());
  {
    platform::File open_file;
    CCurrentLogFile current(&TestClock);
    ASSERT_TRUE(current.ChooseFileName(folder, &open_file));
    EXPECT_EQ(current.name(), u"2026010102.log");
    EXPECT_EQ(current.size_low(), 300u);
    ASSERT_TRUE(open_file.IsOpen());
    EXPECT_EQ(open_file.GetFilePath(), platform::Utf8ToUtf16(File("2026010102.log").string()));
    EXPECT_EQ(open_file.GetPosition(), 12u);
    // Open as an appender: viewers may read, nobody else may write.
    const std::u16string path = open_file.GetFilePath();
    platform::File other;
    EXPECT_TRUE(other.Open(path, platform::File::modeRead | platform::File::shareDenyNone));
    other.Close();
    EXPECT_FALSE(other.Open(path, platform::File::modeReadWrite | platform::File::shareDenyWrite));
  }
  {
    // At 1 MiB the next number is chosen and nothing is left open.
    MakeLogFile(File("2026010102.log"), 0x100000);
    platform::File open_file;
    CCurrentLogFile current(&TestClock);
    ASSERT_TRUE(current.ChooseFileName(folder, &open_file));
    EXPECT_EQ(current.name(), u"2026010103.log");
    EXPECT_FALSE(open_file.IsOpen());
  }
}

TEST_F(CurrentFileTest, ReadOnlyCandidateIsChosenAsBeforeWithoutBeingOpened) {
  // A file that cannot be opened for writing still passes the usable test,
  // so it wins over smaller names, and the append then fails on it as it did
  // before (its own open and the create are both refused). Checked in a child
  // without root's right to write anything.
  MakeLogFile(File("2026010101.log"), 200);
  MakeLogFile(File("2026010102.log"), 300);
  ASSERT_EQ(chmod(File("2026010102.log").c_str(), 0444), 0);
  for (std::filesystem::path p = Folder(); p != env_.root().parent_path(); p = p.parent_path()) {
    ASSERT_EQ(chmod(p.c_str(), 0777), 0);
  }
  HeldChild child([&] {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return 1;
    platform::File open_file;
    CCurrentLogFile current(&TestClock);
    if (!current.ChooseFileName(platform::Utf8ToUtf16(Folder().string()), &open_file)) return 2;
    if (current.name() != u"2026010102.log") return 3;
    if (open_file.IsOpen()) return 4;
    if (AppendSimple() != QORLOG_STATUS_LOG_ERROR) return 5;
    return 0;
  });
  EXPECT_EQ(child.setup_result(), 0);
  EXPECT_EQ(std::filesystem::file_size(File("2026010101.log")), 200u);
  EXPECT_EQ(std::filesystem::file_size(File("2026010102.log")), 300u);
}

TEST_F(CurrentFileTest, ZeroLengthFileIsReplacedByAFreshOne) {
  MakeLogFile(File("2026010100.log"), 0);
  ASSERT_EQ(AppendSimple(), 0u);
  EXPECT_THAT(FileNames(Folder()), ElementsAre("2026010100.log"));
  EXPECT_EQ(ReadFile(File("2026010100.log")).substr(0, 12), HeaderBytes(1));
  EXPECT_EQ(ReadSimpleRecords(File("2026010100.log")).size(), 1u);
}

TEST_F(CurrentFileTest, DamagedFileWithRecordsIsSetAsideNotDeleted) {
  MakeLogFile(File("2026010100.log"), 0x100000);
  // The next name exists with a bad header and 200 bytes: the search passes
  // it over, the selection arrives at it by number.
  MakeLogFile(File("2026010101.log"), 200, 3, false);
  const std::string damaged = ReadFile(File("2026010101.log"));
  ASSERT_EQ(AppendSimple(), 0u);
  EXPECT_THAT(FileNames(Folder()), ElementsAre("2026010100.log", "2026010101.log", "2026010101.log.damaged"));
  EXPECT_EQ(ReadFile(File("2026010101.log.damaged")), damaged);
  EXPECT_EQ(ReadFile(File("2026010101.log")).substr(0, 12), HeaderBytes(1));

  // Damaged again: the next free name.
  MakeLogFile(File("2026010101.log"), 300, 3, false);
  ASSERT_EQ(AppendSimple(), 0u);
  EXPECT_TRUE(std::filesystem::exists(File("2026010101.log.1.damaged")));
  EXPECT_EQ(std::filesystem::file_size(File("2026010101.log.1.damaged")), 300u);
}

TEST_F(CurrentFileTest, DamagedFileThatCannotBeMovedIsLeftWhole) {
  MakeLogFile(File("2026010100.log"), 200, 3, false);
  const std::string damaged = ReadFile(File("2026010100.log"));
  const std::u16string held = platform::Utf8ToUtf16(File("2026010100.log").string());
  HeldChild viewer([&] {
    static platform::File f;
    return f.Open(held, platform::File::modeRead | platform::File::shareDenyNone) ? 0 : 1;
  });
  ASSERT_EQ(viewer.setup_result(), 0);
  EXPECT_EQ(AppendSimple(), QORLOG_STATUS_LOG_ERROR);
  EXPECT_EQ(ReadFile(File("2026010100.log")), damaged);
  viewer.Release();
  EXPECT_EQ(AppendSimple(), 0u);
  EXPECT_EQ(ReadFile(File("2026010100.log.damaged")), damaged);
}

TEST_F(CurrentFileTest, MissingFolderIsCreatedWithItsParents) {
  EXPECT_FALSE(std::filesystem::exists(env_.program_files()));
  ASSERT_EQ(AppendSimple(QORLOG_KIND_SECUREBROWSER), 0u);
  EXPECT_TRUE(std::filesystem::exists(Folder("secure browser") / "2026010100.log"));
}

}  // namespace
}  // namespace qorlog::testing
