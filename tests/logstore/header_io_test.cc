// Reading a log header back and rewriting it.
#include <gtest/gtest.h>

#include "tests/logstore/log_folder_fixture.h"

namespace qorlog::testing {
namespace {

class HeaderIoTest : public LogFolderTest {
 protected:
  platform::File& Open(const std::string& bytes) {
    const auto path = env_.root() / "h.log";
    WriteFile(path, bytes);
    EXPECT_TRUE(file_.Open(platform::Utf8ToUtf16(path.string()), platform::File::modeReadWrite));
    return file_;
  }
  std::string Bytes() const { return ReadFile(env_.root() / "h.log"); }
  platform::File file_;
};

TEST_F(HeaderIoTest, ReadAcceptsOnlyAValidWholeHeader) {
  DWORD count = 42;
  EXPECT_EQ(manager_.ReadLogHeader(nullptr, &count), 0);
  EXPECT_EQ(manager_.ReadLogHeader(&Open(HeaderBytes(7).substr(0, 11)), &count), 0);
  EXPECT_EQ(count, 42u);
  EXPECT_EQ(manager_.ReadLogHeader(&Open(HeaderBytes(7, 1, 7)), &count), 0);
  EXPECT_EQ(count, 42u);
  EXPECT_EQ(manager_.ReadLogHeader(&Open(HeaderBytes(7) + "records"), &count), 1);
  EXPECT_EQ(count, 7u);
  EXPECT_EQ(file_.GetPosition(), 12u);
  EXPECT_EQ(manager_.ReadLogHeader(&Open(HeaderBytes(5, 2)), nullptr), 1);  // version not tested
}

TEST_F(HeaderIoTest, WriteOverwritesOnlyTheHeaderAndWraps) {
  manager_.WriteLogHeader(&Open(""), 0);
  EXPECT_EQ(Bytes(), HeaderBytes(0));
  manager_.WriteLogHeader(&Open(HeaderBytes(3) + "tail"), 0xFFFFFFFFu);
  EXPECT_EQ(Bytes(), qorlog::testing::Bytes({1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}) + "tail");
  DWORD count = 0;
  EXPECT_EQ(manager_.ReadLogHeader(&file_, &count), 1);
  EXPECT_EQ(count, 0xFFFFFFFFu);
  platform::File closed;
  manager_.WriteLogHeader(&closed, 1);  // errors are swallowed
  manager_.WriteLogHeader(nullptr, 1);
}

}  // namespace
}  // namespace qorlog::testing
