// qorlog settings: show, get, set and age on protected settings files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/text.h"
#include "settings/secure_ini_document.h"
#include "tests/cli/cli_runner.h"
#include "tests/support/temp_env.h"

namespace qorlog::testing {
namespace {

namespace fs = std::filesystem;

void Protect(const fs::path& path, std::u16string_view text, DWORD format) {
  CSecureIniDocument doc;
  doc.SetText(text);
  ASSERT_EQ(doc.Save(platform::Utf8ToUtf16(path.string()), format), 1);
}

DWORD FormatOf(const fs::path& path) {
  const std::string image = ReadFile(path);
  return CSecureIniDocument::ClassifyBytes(reinterpret_cast<const uint8_t*>(image.data()),
                                           image.size());
}

class SettingsCommandTest : public ::testing::Test {
 protected:
  IsolatedEnv env_;
  fs::path hex_ = env_.root() / "hex.ui";
  fs::path box_ = env_.root() / "box.ui";
  void SetUp() override {
    Protect(hex_, u"[S]\nk = \"  v \"\nempty=\n", INI_FORMAT_HEX);
    Protect(box_, u"[qorcommon]\r\nurl_logpolicy=x\r\n", INI_FORMAT_CONTAINER);
  }
};

TEST_F(SettingsCommandTest, ShowPrintsFormatAndText) {
  CliResult r = RunCli({"settings", "show", hex_.string()});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "format: hex\n[S]\nk = \"  v \"\nempty=\n");
  r = RunCli({"settings", "show", box_.string()});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "format: container\n[qorcommon]\r\nurl_logpolicy=x\r\n");
}

TEST_F(SettingsCommandTest, GetPrintsTheValueAsHeld) {
  CliResult r = RunCli({"settings", "get", hex_.string(), "s", "K"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "  v \n");
  r = RunCli({"settings", "get", hex_.string(), "s", "empty"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "\n");
  r = RunCli({"settings", "get", hex_.string(), "s", "nokey"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("no key nokey"), std::string::npos) << r.err;
  r = RunCli({"settings", "get", hex_.string(), "nosection", "k"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_TRUE(r.out.empty());
}

TEST_F(SettingsCommandTest, UnreadableFilesGetAClearMessage) {
  const fs::path plain = env_.root() / "plain.ui";
  WriteFile(plain, "[s]\nk=v\n");
  std::string image = ReadFile(box_);
  image[image.size() - 1] ^= 1;
  const fs::path damaged = env_.root() / "damaged.ui";
  WriteFile(damaged, image);
  struct Case {
    fs::path path;
    std::string message;
  } cases[] = {{env_.root() / "missing.ui", "no such file"},
               {plain, "not a protected settings file"},
               {damaged, "damaged container"},
               {env_.root(), "folder"}};
  for (const Case& c : cases) {
    const CliResult r = RunCli({"settings", "show", c.path.string()});
    EXPECT_NE(r.exit_code, 0) << c.path;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
}

TEST_F(SettingsCommandTest, SetCreatesUpdatesAndKeepsTheFormat) {
  const fs::path fresh = env_.root() / "sub" / "new.ui";
  CliResult r = RunCli({"settings", "set", fresh.string(), "QorCommon", "Url_LogPolicy", "http://a b"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(FormatOf(fresh), INI_FORMAT_HEX);
  EXPECT_EQ(RunCli({"settings", "get", fresh.string(), "qorcommon", "url_logpolicy"}).out, "http://a b\n");

  r = RunCli({"settings", "set", box_.string(), "qorcommon", "other", "1"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(FormatOf(box_), INI_FORMAT_CONTAINER);
  EXPECT_EQ(RunCli({"settings", "get", box_.string(), "qorcommon", "url_logpolicy"}).out, "x\n");

  r = RunCli({"settings", "set", box_.string(), "qorcommon", "other", "2", "--format", "hex"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(FormatOf(box_), INI_FORMAT_HEX);
  EXPECT_EQ(RunCli({"settings", "get", box_.string(), "qorcommon", "other"}).out, "2\n");
  EXPECT_NE(RunCli({"settings", "set", box_.string(), "s", "k", "v", "--format", "xml"}).exit_code, 0);
}

TEST_F(SettingsCommandTest, SetNeverWritesOverWhatItCannotRead) {
  const fs::path plain = env_.root() / "plain.ui";
  WriteFile(plain, "[s]\nk=v\n");
  CliResult r = RunCli({"settings", "set", plain.string(), "s", "k", "w"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("nothing written"), std::string::npos) << r.err;
  EXPECT_EQ(ReadFile(plain), "[s]\nk=v\n");

  // Values that would read back differently are refused, and the file stays.
  const std::string before = ReadFile(hex_);
  for (const char* value : {" padded", "quoted\"", "two\nlines"}) {
    r = RunCli({"settings", "set", hex_.string(), "s", "k", value});
    EXPECT_EQ(r.exit_code, 1) << value;
  }
  EXPECT_EQ(RunCli({"settings", "set", hex_.string(), "a]b", "k", "v"}).exit_code, 1);
  EXPECT_EQ(RunCli({"settings", "set", hex_.string(), "s", ";k", "v"}).exit_code, 1);
  EXPECT_EQ(ReadFile(hex_), before);
}

TEST_F(SettingsCommandTest, AgeAnswersFromTheStamp) {
  CliResult r = RunCli({"settings", "age", box_.string(), "60"});
  EXPECT_EQ(r.exit_code, 2);  // no stamp yet
  r = RunCli({"settings", "set", box_.string(), "qorcommon", "k", "v", "--stamp"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(FormatOf(box_), INI_FORMAT_CONTAINER);
  r = RunCli({"settings", "age", box_.string(), "60"});
  EXPECT_EQ(r.exit_code, 0) << r.out;
  EXPECT_EQ(r.out.rfind("fresh", 0), 0u) << r.out;

  r = RunCli({"settings", "set", box_.string(), "Common", "WriteTime", "2001.02.03.04.05.06"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  r = RunCli({"settings", "age", box_.string(), "60"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "stale: written 2001.02.03.04.05.06, limit 60 s\n");
  EXPECT_EQ(RunCli({"settings", "age", (env_.root() / "none.ui").string(), "60"}).exit_code, 2);
}

}  // namespace
}  // namespace qorlog::testing
