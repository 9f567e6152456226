// qorlog policy: on or off for this machine, and why.
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

TEST(PolicyCommandTest, SaysOnOrOffAndWhy) {
  IsolatedEnv env;
  const fs::path file = env.program_files() / "Varnok/ZEL/Pellora i/zelinfo.ui";
  CliResult r = RunCli({"policy"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "off: " + file.string() + ": no such file\n");

  CSecureIniDocument doc;
  doc.SetText(u"[QorCommon]\nurl_logpolicy=  \n");
  ASSERT_EQ(doc.Save(platform::Utf8ToUtf16(file.string()), INI_FORMAT_HEX), 1);
  r = RunCli({"policy"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "off: url_logpolicy is empty in section [qorcommon] of " + file.string() + "\n");

  ASSERT_EQ(RunCli({"settings", "set", file.string(), "QORCOMMON", "URL_LOGPOLICY", "https://p"}).exit_code, 0);
  r = RunCli({"policy"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "on: url_logpolicy=https://p in section [qorcommon] of " + file.string() + "\n");
  EXPECT_TRUE(r.err.empty()) << r.err;

  testing::WriteFile(file, "[qorcommon]\nurl_logpolicy=x\n");
  r = RunCli({"policy"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.out.find("not a protected settings file"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace qorlog::testing
