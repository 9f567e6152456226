// qorlog list and qorlog show over files written with the library's own
// record objects: order, JSON keys, and how cut-off and damaged files are
// reported.
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/cli/cli_runner.h"
#include "tests/logstore/log_file_builder.h"
#include "tests/support/temp_env.h"

namespace qorlog::testing {
namespace {

std::vector<nlohmann::json> JsonLines(const std::string& text) {
  std::vector<nlohmann::json> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(nlohmann::json::parse(line));
  return out;
}

class ListShowTest : public ::testing::Test {
 protected:
  std::filesystem::path Put(const std::string& category, const std::string& name, const std::string& bytes) {
    const auto path = env_.CategoryFolder(category) / name;
    std::filesystem::create_directories(path.parent_path());
    WriteFile(path, bytes);
    return path;
  }
  IsolatedEnv env_;
};

TEST_F(ListShowTest, ListGivesFilesOldestFirstWithSizeAndCount) {
  const std::string newer = HeaderBytes(1) + RecordBytes(Firewall(1, 1));
  Put("firewall", "2024030501.log", newer);
  Put("firewall", "2024030500.log", HeaderBytes(2) + RecordBytes(Firewall(1, 1)) + RecordBytes(Firewall(2, 2)));
  Put("firewall", "2024030502.log", "\x01\x00\x00\x00\x05\x00\x00\x00\x05\x00\x00\x00");

  CliResult r = RunCli({"list", "--kind", "firewall", "--json"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const auto rows = JsonLines(r.out);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0]["path"], (env_.CategoryFolder("firewall") / "2024030500.log").string());
  EXPECT_EQ(rows[0]["header_count"], 2);
  EXPECT_EQ(rows[1]["size"], newer.size());
  EXPECT_EQ(rows[1]["index"], 1);
  EXPECT_EQ(rows[2]["header_valid"], false);
  EXPECT_EQ(rows[0]["kind"], 1001);

  r = RunCli({"list"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("2024030502.log"), std::string::npos);
  EXPECT_NE(r.out.find("damaged header"), std::string::npos);
  EXPECT_NE(r.out.find("pc scan (1000)"), std::string::npos);
  EXPECT_NE(r.out.find("(no log files)"), std::string::npos);
  EXPECT_NE(RunCli({"list", "--kind", "nonsense"}).exit_code, 0);
  EXPECT_NE(RunCli({"list", "--kind", "1001", "--all"}).exit_code, 0);
}

TEST_F(ListShowTest, ShowPrintsNewestFirstAsJsonLinesAndTable) {
  CFWLogRecord first = Firewall(1, 2, 30, u"r\u00e9gle");
  first.stTime = {2024, 3, 2, 5, 14, 9, 8, 42};
  Put("firewall", "2024030500.log", HeaderBytes(2) + RecordBytes(first) + RecordBytes(Firewall(5, 6, 70)));
  Put("firewall", "2024030501.log", HeaderBytes(1) + RecordBytes(Firewall(9, 9)));

  CliResult r = RunCli({"show", "--kind", "1001", "--file", "0", "--json"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  auto rows = JsonLines(r.out);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0]["code"], 5);
  const auto& j = rows[1];
  EXPECT_EQ(j["kind"], 1001);
  EXPECT_EQ(j["file"], (env_.CategoryFolder("firewall") / "2024030500.log").string());
  EXPECT_EQ(j["time"], "2024-03-05T14:09:08.042");
  EXPECT_EQ(j["sub_code"], 2);
  EXPECT_EQ(j["text64"], "app");
  EXPECT_EQ(j["text260"], "r\xc3\xa9gle");
  EXPECT_EQ(j["text64b"], "10.0.0.1");
  EXPECT_EQ(j["param"], 30);

  r = RunCli({"show", "--kind", "firewall", "--file", "0", "--json", "--oldest-first"});
  rows = JsonLines(r.out);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0]["code"], 1);

  // Without --file: the newest file. As a table.
  r = RunCli({"show", "--kind", "firewall"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("TEXT64B"), std::string::npos);
  EXPECT_NE(r.out.find("PARAM"), std::string::npos);
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2);  // header row and one record

  EXPECT_EQ(RunCli({"show", "--kind", "firewall", "--file", "2"}).exit_code, 1);
  EXPECT_EQ(RunCli({"show", "--kind", "pc-scan"}).exit_code, 1);  // no files
}

TEST_F(ListShowTest, ShowByPathTakesTheKindFromTheFolder) {
  const auto simple = Put("secure browser", "2024030500.log", HeaderBytes(1) + RecordBytes(Simple(3, 4, u"visited")));
  CliResult r = RunCli({"show", simple.string(), "--json"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  auto rows = JsonLines(r.out);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0]["kind"], 1003);
  EXPECT_FALSE(rows[0].contains("text64"));
  EXPECT_EQ(rows[0]["text260"], "visited");

  const auto other = Put("etc", "2024030500.log", HeaderBytes(1) + RecordBytes(Simple(3, 4)));
  EXPECT_EQ(RunCli({"show", other.string()}).exit_code, 1);  // the folder does not tell the kind
  r = RunCli({"show", other.string(), "--kind", "5000", "--json"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(JsonLines(r.out)[0]["kind"], 5000);

  r = RunCli({"show", (env_.CategoryFolder("firewall") / "missing.log").string()});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("system error"), std::string::npos);
}

TEST_F(ListShowTest, CutOffAndDamagedFilesAreReported) {
  const std::string second = RecordBytes(PCScan(2, 2));
  const auto cut = Put("pc scan", "2024030500.log",
                       HeaderBytes(2) + RecordBytes(PCScan(1, 1)) + second.substr(0, second.size() - 3));
  CliResult r = RunCli({"show", cut.string(), "--json"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(JsonLines(r.out).size(), 1u);  // the complete record is still shown
  EXPECT_NE(r.err.find("bytes of an incomplete record"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("header counts 2 records, the file holds 1"), std::string::npos) << r.err;

  std::string bytes = HeaderBytes(3);
  for (DWORD code : {1u, 603u, 3u}) bytes += RecordBytes(PCScan(code, 0));
  const auto damaged = Put("pc scan", "2024030501.log", bytes);
  r = RunCli({"show", damaged.string()});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_TRUE(r.out.empty());
  EXPECT_NE(r.err.find("record 2"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("603"), std::string::npos) << r.err;

  const auto bad_header = Put("pc scan", "2024030502.log",
                              std::string("\x01\0\0\0\x01\0\0\0\x01\0\0\0", 12) + RecordBytes(PCScan(1, 1)));
  r = RunCli({"show", bad_header.string()});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("header is damaged"), std::string::npos) << r.err;

  const auto complete = Put("pc scan", "2024030503.log", HeaderBytes(1) + RecordBytes(PCScan(1, 1)));
  r = RunCli({"show", complete.string()});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(r.err.empty()) << r.err;
}

}  // namespace
}  // namespace qorlog::testing
