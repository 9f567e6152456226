// The log policy: read from the update component's protected settings file,
// once per process. The answer is cached process-wide, so every case runs in
// a process of its own.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "logstore/log_util.h"
#include "platform/text.h"
#include "settings/secure_ini_document.h"
#include "tests/support/spawn_child.h"
#include "tests/support/temp_env.h"

namespace qorlog {
namespace {

namespace fs = std::filesystem;
using testing::IsolatedEnv;

bool SavePolicy(const fs::path& file, std::u16string_view text, DWORD format = INI_FORMAT_CONTAINER) {
  CSecureIniDocument doc;
  doc.SetText(text);
  return doc.Save(platform::Utf8ToUtf16(file.string()), format) == 1;
}

// Asks for the policy; with args, asks again after an "on" policy was
// written to args[0] ("write") or it was removed: then first * 10 + second.
QORLOG_CHILD_ROLE("ask-policy", [](const std::vector<std::string>& args, const testing::ChildChannel&) {
  CLogUtil util;
  const int first = static_cast<int>(util.IsLogPolicyOn());
  if (args.empty()) return first;
  if (args.at(1) == "write" ? !SavePolicy(args[0], u"[qorcommon]\nurl_logpolicy=x\n") : !fs::remove(args[0])) return 99;
  return first * 10 + static_cast<int>(util.IsLogPolicyOn());
});

class LogPolicyTest : public ::testing::Test {
 protected:
  void SetUp() override { QORLOG_SKIP_UNLESS_USABLE(program_files_); }
  fs::path PolicyFile() const { return program_files_.path() / "Varnok" / "ZEL" / "Pellora i" / "zelinfo.ui"; }

  void WritePolicy(std::u16string_view text, DWORD format = INI_FORMAT_CONTAINER) const {
    ASSERT_TRUE(SavePolicy(PolicyFile(), text, format));
  }
  // The answer of a fresh process.
  static int Ask(const std::vector<std::string>& args = {}) {
    return testing::ChildProcess("ask-policy", args).Release();
  }

  IsolatedEnv env_;
  testing::ProgramFilesScope program_files_{env_};
};

TEST_F(LogPolicyTest, OnOnlyForANonBlankUrlUnderQorCommonInEitherFormatAndAnyCase) {
  const struct {
    std::u16string_view text;
    DWORD format;
    int on;
  } cases[] = {
      {u"[QorCommon]\r\nURL_LogPolicy=https://policy\r\n", INI_FORMAT_CONTAINER, 1},
      {u"[common]\nx=1\n[qorcommon]\nurl_logpolicy = \"x\"\n", INI_FORMAT_HEX, 1},
      {u"[qorcommon]\nurl_logpolicy=   \n", INI_FORMAT_CONTAINER, 0},
      {u"[qorcommon]\nother=x\n", INI_FORMAT_CONTAINER, 0},
      {u"[other]\nurl_logpolicy=x\n", INI_FORMAT_CONTAINER, 0},
  };
  for (const auto& c : cases) {
    WritePolicy(c.text, c.format);
    const std::string before = testing::ReadFile(PolicyFile());
    EXPECT_EQ(Ask(), c.on) << platform::Utf16ToUtf8(c.text);
    EXPECT_EQ(testing::ReadFile(PolicyFile()), before);  // reading leaves the file alone
  }
}

TEST_F(LogPolicyTest, OffWhenTheFileIsMissingPlainOrDamaged) {
  EXPECT_EQ(Ask(), 0);
  fs::create_directories(PolicyFile().parent_path());
  testing::WriteFile(PolicyFile(), "[qorcommon]\nurl_logpolicy=x\n");
  EXPECT_EQ(Ask(), 0);
  WritePolicy(u"[qorcommon]\nurl_logpolicy=x\n");
  std::string image = testing::ReadFile(PolicyFile());
  image.back() ^= 1;
  testing::WriteFile(PolicyFile(), image);
  EXPECT_EQ(Ask(), 0);
}

TEST_F(LogPolicyTest, ReadOncePerProcess) {
  // A file that appears after the first call is not seen.
  const fs::path file = PolicyFile();
  EXPECT_EQ(Ask({file.string(), "write"}), 0);
  EXPECT_TRUE(fs::exists(file));
  // A file that goes away after the first call leaves the answer on.
  EXPECT_EQ(Ask({file.string(), "remove"}), 11);
  EXPECT_FALSE(fs::exists(file));
}

}  // namespace
}  // namespace qorlog
