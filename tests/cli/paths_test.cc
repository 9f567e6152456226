// qorlog paths and the program's help.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/cli/cli_runner.h"
#include "tests/support/temp_env.h"

namespace qorlog::testing {
namespace {

TEST(PathsCommandTest, JsonNamesEveryFolder) {
  IsolatedEnv env;
  const CliResult r = RunCli({"paths", "--json"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const auto j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["registry"], env.registry_file().string());
  EXPECT_EQ(j["program_files"], env.program_files().string());
  EXPECT_EQ(j["common_log_folder"], (env.program_files() / "Varnok/ZEL/Common/Log").string());
  EXPECT_EQ(j["categories"]["firewall"]["folder"], env.CategoryFolder("firewall").string());
  EXPECT_EQ(j["categories"]["etc"]["folder"], env.CategoryFolder("etc").string());
  EXPECT_EQ(j["categories"].size(), 6u);
  EXPECT_EQ(j["update_folder"], (env.program_files() / "Varnok/ZEL/Pellora i").string());
}

TEST(PathsCommandTest, TextOutputAndRegistryErrors) {
  IsolatedEnv env;
  CliResult r = RunCli({"paths"});
  ASSERT_EQ(r.exit_code, 0);
  EXPECT_NE(r.out.find(env.CategoryFolder("pc scan").string()), std::string::npos);
  WriteFile(env.registry_file(), "");
  r = RunCli({"paths"});
  EXPECT_NE(r.exit_code, 0);
  EXPECT_NE(r.out.find("registry error 2"), std::string::npos);
}

TEST(PathsCommandTest, HelpWorks) {
  EXPECT_EQ(RunCli({"--help"}).exit_code, 0);
  const CliResult r = RunCli({"paths", "--help"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_NE(r.out.find("--json"), std::string::npos);
  EXPECT_NE(RunCli({"no-such-command"}).exit_code, 0);
}

}  // namespace
}  // namespace qorlog::testing
