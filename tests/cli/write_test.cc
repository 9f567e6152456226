// qorlog write through the library: the bytes it stores, the folders it
// writes to (the same that `qorlog paths` names), and the cause it gives
// when the library cannot append.
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/cli/cli_runner.h"
#include "tests/support/temp_env.h"

namespace qorlog::testing {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> Files(const fs::path& folder) {
  std::vector<fs::path> out;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(folder, ec)) out.push_back(e.path());
  return out;
}

TEST(WriteCommandTest, WritesEachKindWhereThePathsCommandSays) {
  IsolatedEnv env;
  CliResult r = RunCli({"write", "simple", "--kind", "anti keylogger", "--code", "3", "--sub-code", "4", "--text",
                        "a\xC3\xA9"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const auto paths = nlohmann::json::parse(RunCli({"paths", "--json"}).out)["categories"];
  auto files = Files(paths["anti keylogger"]["folder"].get<std::string>());
  ASSERT_EQ(files.size(), 1u);
  // Header of one record, then time, code 3, sub-code 4 and "aé" in UTF-16.
  const std::string bytes = ReadFile(files[0]);
  ASSERT_EQ(bytes.size(), 12u + 32u);
  EXPECT_EQ(bytes.substr(12 + 16, 8), std::string("\x03\0\0\0\x04\0\0\0", 8));
  EXPECT_EQ(bytes.substr(12 + 24), std::string("\xFF\xFE\xFF\x02" "a\0\xE9\0", 8));

  const struct {
    std::vector<std::string> args;
    const char* category;
  } writes[] = {{{"write", "fw", "--param", "9", "--text64b", "out"}, "firewall"},
                {{"write", "pcscan", "--text64", "scan"}, "pc scan"},
                {{"write", "simple", "--kind", "5000"}, "etc"},
                {{"write", "simple", "--kind", "secure-browser"}, "secure browser"},
                {{"write", "simple", "--kind", "pellora"}, "pellora i"}};
  for (const auto& w : writes) {
    r = RunCli(w.args);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(Files(paths[w.category]["folder"].get<std::string>()).size(), 1u) << w.category;
  }
}

TEST(WriteCommandTest, SaysAccessDeniedForAFolderItCannotWriteIn) {
  if (geteuid() == 0) GTEST_SKIP() << "the superuser is never denied access by file modes";
  IsolatedEnv env;
  const fs::path folder = env.CategoryFolder("firewall");
  fs::create_directories(folder);
  fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
  const CliResult r = RunCli({"write", "fw"});
  fs::permissions(folder, fs::perms::owner_all);
  EXPECT_EQ(r.exit_code, 4);
  EXPECT_EQ(r.err, "qorlog: nothing written: access denied: cannot create files in " + folder.string() +
                       " (status 1627)\n");
}

}  // namespace
}  // namespace qorlog::testing
