// qorlog write through the library: the folders it writes to (the same that
// `qorlog paths` names) and the cause it gives when the library cannot
// append. (The golden cases show what it stored.)
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/cli/cli_runner.h"
#include "tests/support/temp_env.h"

namespace qorlog::testing {
namespace {

namespace fs = std::filesystem;

TEST(WriteCommandTest, WritesEachKindWhereThePathsCommandSays) {
  IsolatedEnv env;
  ProgramFilesScope scope(env);
  QORLOG_SKIP_UNLESS_USABLE(scope);
  const auto paths = nlohmann::json::parse(RunCli({"paths", "--json"}).out)["categories"];
  const struct {
    std::vector<std::string> args;
    const char* category;
  } writes[] = {{{"write", "simple", "--kind", "anti keylogger", "--text", "a\xC3\xA9"}, "anti keylogger"},
                {{"write", "fw", "--param", "9", "--text64b", "out"}, "firewall"},
                {{"write", "pcscan", "--text64", "scan"}, "pc scan"},
                {{"write", "simple", "--kind", "5000"}, "etc"},
                {{"write", "simple", "--kind", "secure-browser"}, "secure browser"},
                {{"write", "simple", "--kind", "pellora"}, "pellora i"}};
  for (const auto& w : writes) {
    const CliResult r = RunCli(w.args);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    const fs::path folder = paths[w.category]["folder"].get<std::string>();
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 1) << w.category;
  }
}

TEST(WriteCommandTest, SaysAccessDeniedForAFolderItCannotWriteIn) {
  IsolatedEnv env;
  ProgramFilesScope scope(env);
  QORLOG_SKIP_UNLESS_USABLE(scope);
  const fs::path folder = scope.CategoryFolder("firewall");
  fs::create_directories(folder);
  fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
  // The superuser is never denied by file modes, and on Windows they only
  // mark a folder read-only, which does not stop anyone creating files in it.
  if (std::ofstream(folder / "probe")) {
    fs::permissions(folder, fs::perms::owner_all);
    GTEST_SKIP() << "file modes do not deny this user creating files";
  }
  const CliResult r = RunCli({"write", "fw"});
  fs::permissions(folder, fs::perms::owner_all);
  EXPECT_EQ(r.exit_code, 4);
  EXPECT_EQ(r.err, "qorlog: nothing written: access denied: cannot create files in " + folder.string() +
                       " (status 1627)\n");
}

}  // namespace
}  // namespace qorlog::testing
