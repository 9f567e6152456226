// qorlog settings set and age on protected settings files: what ends up in
// the file, and a fresh stamp (the golden cases cover the messages).
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

DWORD FormatOf(const fs::path& path) {
  const std::string image = ReadFile(path);
  return CSecureIniDocument::ClassifyBytes(reinterpret_cast<const uint8_t*>(image.data()), image.size());
}

std::string Get(const fs::path& file, const char* section, const char* key) {
  return RunCli({"settings", "get", file.string(), section, key}).out;
}

TEST(SettingsCommandTest, SetCreatesStampsUpdatesAndKeepsTheFormat) {
  IsolatedEnv env;
  const fs::path file = env.root() / "sub" / "new.ui";
  CliResult r = RunCli({"settings", "set", file.string(), "QorCommon", "Url_LogPolicy", "http://a b", "--format",
                        "container", "--stamp"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(FormatOf(file), INI_FORMAT_CONTAINER);
  r = RunCli({"settings", "age", file.string(), "60"});
  EXPECT_EQ(r.exit_code, 0) << r.out;
  EXPECT_EQ(r.out.rfind("fresh", 0), 0u) << r.out;
  ASSERT_EQ(RunCli({"settings", "set", file.string(), "qorcommon", "other", "1"}).exit_code, 0);
  EXPECT_EQ(FormatOf(file), INI_FORMAT_CONTAINER);
  EXPECT_EQ(Get(file, "qorcommon", "url_logpolicy"), "http://a b\n");
  ASSERT_EQ(RunCli({"settings", "set", file.string(), "qorcommon", "other", "2", "--format", "hex"}).exit_code, 0);
  EXPECT_EQ(FormatOf(file), INI_FORMAT_HEX);
  EXPECT_EQ(Get(file, "qorcommon", "other"), "2\n");
}

TEST(SettingsCommandTest, RefusalsLeaveTheFileAsItWas) {
  IsolatedEnv env;
  const fs::path plain = env.root() / "plain.ui";
  WriteFile(plain, "[s]\nk=v\n");
  const fs::path quoted = env.root() / "quoted.ui";
  CSecureIniDocument doc;
  doc.SetText(u"[s]\nk = \"  v \"\n");
  ASSERT_EQ(doc.Save(platform::Utf8ToUtf16(quoted.string()), INI_FORMAT_HEX), 1);
  const std::string quoted_before = ReadFile(quoted);
  const struct {
    fs::path file;
    std::vector<std::string> entry;
    int exit_code;
  } cases[] = {{plain, {"s", "k", "w"}, 3},       // not a protected file
               {quoted, {"s", "other", "1"}, 4},  // would unquote k
               {quoted, {"s", "k", "two\nlines"}, 2},
               {quoted, {"s", ";k", "v"}, 2}};
  for (const auto& c : cases) {
    std::vector<std::string> args = {"settings", "set", c.file.string()};
    args.insert(args.end(), c.entry.begin(), c.entry.end());
    EXPECT_EQ(RunCli(args).exit_code, c.exit_code) << c.entry[1];
  }
  EXPECT_EQ(ReadFile(plain), "[s]\nk=v\n");
  EXPECT_EQ(ReadFile(quoted), quoted_before);
}

}  // namespace
}  // namespace qorlog::testing
