// qorlog write and qorlog prune.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include <gtest/gtest.h>

#include "tests/cli/cli_runner.h"
#include "tests/support/temp_env.h"

namespace qorlog::testing {
namespace {

std::vector<std::filesystem::path> Files(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> out;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(folder, ec)) out.push_back(e.path());
  return out;
}

TEST(WriteCommandTest, WritesEveryKindAndReportsFailuresInWords) {
  IsolatedEnv env;
  CliResult r = RunCli({"write", "simple", "--kind", "anti keylogger", "--code", "3", "--sub-code", "4", "--text", "abc"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  auto files = Files(env.CategoryFolder("anti keylogger"));
  ASSERT_EQ(files.size(), 1u);
  // Header of one record, then time, code 3, sub-code 4 and "abc".
  const std::string bytes = ReadFile(files[0]);
  ASSERT_EQ(bytes.size(), 12u + 34u);
  EXPECT_EQ(bytes.substr(12 + 16, 8), std::string("\x03\0\0\0\x04\0\0\0", 8));
  EXPECT_EQ(bytes.substr(12 + 24), std::string("\xFF\xFE\xFF\x03" "a\0b\0c\0", 10));

  EXPECT_EQ(RunCli({"write", "fw", "--code", "1", "--param", "9", "--text64", "in", "--text260", "rule", "--text64b", "out"}).exit_code, 0);
  EXPECT_EQ(Files(env.CategoryFolder("firewall")).size(), 1u);
  EXPECT_EQ(RunCli({"write", "pcscan", "--text64", "scan"}).exit_code, 0);
  EXPECT_EQ(Files(env.CategoryFolder("pc scan")).size(), 1u);
  EXPECT_EQ(RunCli({"write", "simple", "--kind", "5000"}).exit_code, 0);
  EXPECT_EQ(Files(env.CategoryFolder("etc")).size(), 1u);

  // A category "folder" that is a plain file: the append fails with 1627.
  std::filesystem::create_directories(env.CategoryFolder("pellora i").parent_path());
  WriteFile(env.CategoryFolder("pellora i"), "x");
  r = RunCli({"write", "simple", "--kind", "1004", "--text", "lost"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("1627"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("no log file could be chosen"), std::string::npos) << r.err;

  EXPECT_NE(RunCli({"write", "simple", "--kind", "nonsense"}).exit_code, 0);
}

TEST(PruneCommandTest, ReportsTheFilesThatWent) {
  IsolatedEnv env;
  const auto folder = env.CategoryFolder("firewall");
  std::filesystem::create_directories(folder);
  for (int i = 0; i < 100; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "20250101%02d.log", i);
    WriteFile(folder / name, std::string("\x01\0\0\0\0\0\0\0\x01\0\0\0", 12));
  }
  CliResult r = RunCli({"prune", "--kind", "firewall"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("firewall: 10 files deleted, 90 left"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("deleted 2025010100.log"), std::string::npos);
  EXPECT_NE(r.out.find("deleted 2025010109.log"), std::string::npos);
  EXPECT_EQ(r.out.find("deleted 2025010110.log"), std::string::npos);
  EXPECT_EQ(Files(folder).size(), 90u);

  r = RunCli({"prune", "--all"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_NE(r.out.find("firewall: 0 files deleted, 90 left"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("etc: no log folder"), std::string::npos) << r.out;
  EXPECT_NE(RunCli({"prune"}).exit_code, 0);
}

}  // namespace
}  // namespace qorlog::testing
