// The log policy: read from the update component's protected settings file,
// once per process. The answer is cached process-wide, so every case runs in
// a forked child of its own.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "logstore/log_util.h"
#include "platform/text.h"
#include "settings/secure_ini_document.h"
#include "tests/platform/child_process.h"
#include "tests/support/temp_env.h"

namespace qorlog {
namespace {

namespace fs = std::filesystem;
using testing::HeldChild;
using testing::IsolatedEnv;

class LogPolicyTest : public ::testing::Test {
 protected:
  fs::path PolicyFile() const { return env_.program_files() / "Varnok" / "ZEL" / "Pellora i" / "zelinfo.ui"; }

  void WritePolicy(std::u16string_view text, DWORD format = INI_FORMAT_CONTAINER) const {
    CSecureIniDocument doc;
    doc.SetText(text);
    ASSERT_EQ(doc.Save(platform::Utf8ToUtf16(PolicyFile().string()), format), 1);
  }

  // Runs `body` in a fresh process and returns what it returned.
  static int InChild(std::function<int()> body) {
    HeldChild child(std::move(body));
    return child.setup_result();
  }

  static int AskOnce() {
    return InChild([] { return static_cast<int>(CLogUtil().IsLogPolicyOn()); });
  }

  IsolatedEnv env_;
};

TEST_F(LogPolicyTest, OnWithANonBlankUrlInEitherFormatAndAnyCase) {
  WritePolicy(u"[QorCommon]\r\nURL_LogPolicy=https://policy\r\n", INI_FORMAT_CONTAINER);
  const std::string before = testing::ReadFile(PolicyFile());
  EXPECT_EQ(AskOnce(), 1);
  EXPECT_EQ(testing::ReadFile(PolicyFile()), before);  // reading leaves the file alone
  WritePolicy(u"[common]\nx=1\n[qorcommon]\nurl_logpolicy = \"x\"\n", INI_FORMAT_HEX);
  EXPECT_EQ(AskOnce(), 1);
}

TEST_F(LogPolicyTest, OffForBlanksAndMissingEntries) {
  for (std::u16string_view text : {u"[qorcommon]\nurl_logpolicy=   \n", u"[qorcommon]\nurl_logpolicy=\"\"\n",
                                   u"[qorcommon]\nother=x\n", u"[other]\nurl_logpolicy=x\n",
                                   u"url_logpolicy=x\n"}) {
    WritePolicy(text);
    EXPECT_EQ(AskOnce(), 0) << platform::Utf16ToUtf8(text);
  }
}

TEST_F(LogPolicyTest, OffWhenTheFileIsMissingPlainOrDamaged) {
  EXPECT_EQ(AskOnce(), 0);
  fs::create_directories(PolicyFile().parent_path());
  testing::WriteFile(PolicyFile(), "[qorcommon]\nurl_logpolicy=x\n");
  EXPECT_EQ(AskOnce(), 0);
  WritePolicy(u"[qorcommon]\nurl_logpolicy=x\n");
  std::string image = testing::ReadFile(PolicyFile());
  image.back() ^= 1;
  testing::WriteFile(PolicyFile(), image);
  EXPECT_EQ(AskOnce(), 0);
}

TEST_F(LogPolicyTest, ReadOncePerProcess) {
  // A file that appears after the first call is not seen.
  const fs::path file = PolicyFile();
  int answers = InChild([this] {
    CLogUtil util;
    const DWORD first = util.IsLogPolicyOn();
    WritePolicy(u"[qorcommon]\nurl_logpolicy=x\n");
    return static_cast<int>(first * 10 + util.IsLogPolicyOn());
  });
  EXPECT_EQ(answers, 0);
  EXPECT_TRUE(fs::exists(file));
  // A file that goes away after the first call leaves the answer on.
  answers = InChild([file] {
    CLogUtil util;
    const DWORD first = util.IsLogPolicyOn();
    fs::remove(file);
    return static_cast<int>(first * 10 + util.IsLogPolicyOn());
  });
  EXPECT_EQ(answers, 11);
  EXPECT_FALSE(fs::exists(file));
}

}  // namespace
}  // namespace qorlog
