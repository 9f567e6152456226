// qorlog export: the JSON lines, the choice of records, the cursor across
// runs, rotation, new days, pruning and kills, and the argument errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <set>

#include "platform/time_zone.h"
#include "tests/cli/cli_runner.h"

namespace qorlog::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// Simple records with codes first_code, first_code + 1, ...
std::vector<std::string> Simples(int first_code, int count) {
  std::vector<std::string> out;
  for (int i = 0; i < count; ++i)
    out.push_back(RecordBytes(Simple(first_code + i, 1, u"r" + std::u16string(1, u'a' + i % 26))));
  return out;
}

// Each line is exactly what the JSON library writes for the document it
// holds: its key order, its escapes, nothing added by hand.
void ExpectLibraryLines(const std::string& out) {
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) EXPECT_EQ(json::parse(line).dump(), line);
}

std::vector<int> Codes(const std::vector<json>& lines) {
  std::vector<int> out;
  for (const auto& j : lines) out.push_back(j["qorlog"]["code"]);
  return out;
}

class ExportTest : public ::testing::Test {
 protected:
  // The zone for this process and the programs it starts.
  void SetUp() override {
    QORLOG_SKIP_UNLESS_USABLE(logs_.scope());
    SetEnv("TZ", "JST-9");
  }
  void TearDown() override {
    UnsetEnv("TZ");
    // The C library reads TZ again only when asked, as mktime in
    // LocalTimeOffset does: the tests after this one get the zone back.
    int ignored = 0;
    platform::LocalTimeOffset(SYSTEMTIME{2024, 1, 0, 1, 0, 0, 0, 0}, &ignored);
  }
  std::string Cursor() const { return (logs_.env().root() / "cursor.json").string(); }
  LogFolders logs_;
};

TEST_F(ExportTest, EcsLinesCarryEveryFieldOldestFirstAcrossFiles) {
  CFWLogRecord fw = Firewall(7, 8, 99, u"r\u00e8gle \"x\" ]\nnext");
  fw.stTime = {2024, 3, 2, 5, 23, 30, 1, 42};
  logs_.Put("firewall", "2024030500.log", {RecordBytes(fw)});
  CPCScanLogRecord impossible = PCScan(3, 4);
  impossible.stTime = {2024, 2, 0, 30, 1, 2, 3, 4};  // no such day: no offset, no instant
  logs_.Put("pc scan", "2024030501.log", {RecordBytes(impossible)});
  logs_.Put("pc scan", "2024030500.log", {RecordBytes(PCScan(1, 2)), RecordBytes(PCScan(2, 2))});
  logs_.Put("secure browser", "2024030500.log", {RecordBytes(Simple(5, 6, u"visited"))});

  CliResult r = RunCli({"export"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  ExpectLibraryLines(r.out);
  const auto lines = JsonLines(r.out);
  ASSERT_EQ(lines.size(), 5u);
  // Kinds in the order of the category list; each kind's files oldest first.
  EXPECT_EQ(Codes(lines), (std::vector<int>{1, 2, 3, 7, 5}));

  // The zone: on Linux the one SetUp chose (+09:00); on Windows the
  // machine's, which a program's TZ does not change.
  int zone = 0;
  ASSERT_TRUE(platform::LocalTimeOffset(fw.stTime, &zone));
  char offset[8];
  std::snprintf(offset, sizeof offset, "%c%02d:%02d", zone < 0 ? '-' : '+', std::abs(zone) / 60, std::abs(zone) % 60);
  const json& f = lines[3];
  EXPECT_EQ(f["@timestamp"], "2024-03-05T23:30:01.042" + std::string(offset));
  EXPECT_EQ(f["event"], json({{"module", "qorlog"},
                              {"dataset", "qorlog.firewall"},
                              {"kind", "event"},
                              {"code", "7"},
                              {"sequence", 2024030500000000},
                              {"id", f["event"]["id"]}}));
  EXPECT_EQ(f["log"]["file"]["path"], (logs_.CategoryFolder("firewall") / "2024030500.log").string());
  EXPECT_FALSE(f["host"]["name"].get<std::string>().empty());
  EXPECT_EQ(f["message"], "app | r\xc3\xa8gle \"x\" ]\nnext | 10.0.0.1");
  EXPECT_EQ(f["qorlog"], json::parse(R"({"kind":1001,"category":"firewall","record_kind":1001,"file":"2024030500.log",
      "index":0,"time":"2024-03-05T23:30:01.042","code":7,"sub_code":8,"param":99,"text64":"app",
      "text260":"r\u00e8gle \"x\" ]\nnext","text64b":"10.0.0.1"})"));
  EXPECT_EQ(lines[4]["event"]["dataset"], "qorlog.secure_browser");
  EXPECT_FALSE(lines[4]["qorlog"].contains("text64"));
  EXPECT_EQ(lines[2]["event"]["sequence"], 2024030501000000);
  EXPECT_EQ(lines[2]["@timestamp"], "2024-02-30T01:02:03.004");
  EXPECT_EQ(lines[1]["qorlog"]["index"], 1);
  EXPECT_EQ(lines[1]["event"]["sequence"], 2024030500000001);  // the file's name, then the index

  // The same record as an OpenTelemetry log record: UTC nanoseconds, the
  // fields as attributes (integers as strings).
  r = RunCli({"export", "--format", "otel"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  ExpectLibraryLines(r.out);
  const json rec = JsonLines(r.out).at(3)["resourceLogs"][0]["scopeLogs"][0]["logRecords"][0];
  EXPECT_EQ(rec["timeUnixNano"], std::to_string(1709681401042000000 - zone * 60000000000LL));  // 23:30:01.042 UTC
  EXPECT_EQ(rec["body"]["stringValue"], f["message"]);
  std::map<std::string, json> attributes;
  for (const json& a : rec["attributes"]) attributes[a["key"]] = a["value"].front();
  for (const auto& [key, value] : f["qorlog"].items())
    EXPECT_EQ(attributes["qorlog." + key], value.is_string() ? value : json(value.dump())) << key;
  for (const char* key : {"dataset", "code", "id"})
    EXPECT_EQ(attributes[std::string("event.") + key], f["event"][key]) << key;
  EXPECT_FALSE(JsonLines(r.out).at(2)["resourceLogs"][0]["scopeLogs"][0]["logRecords"][0].contains("timeUnixNano"));
}

TEST_F(ExportTest, KindsAndTimeRangeChooseTheRecords) {
  std::vector<std::string> records;
  for (int minute = 0; minute < 4; ++minute) {
    CSimpleLogRecord s = Simple(minute, 0);
    s.stTime = {2024, 3, 2, 5, 10, static_cast<uint16_t>(minute), 0, 0};
    records.push_back(RecordBytes(s));
  }
  logs_.Put("anti keylogger", "2024030500.log", records);
  logs_.Put("pellora i", "2024030500.log", {RecordBytes(Simple(9, 0))});
  const struct {
    std::vector<std::string> args;
    std::vector<int> codes;
  } cases[] = {
      {{"--kind", "anti-keylogger"}, {0, 1, 2, 3}},
      {{"--kind", "1004", "--kind", "1002"}, {9, 0, 1, 2, 3}},
      {{"--all"}, {0, 1, 2, 3, 9}},
      {{"--kind", "1002", "--since", "2024-03-05T10:01"}, {1, 2, 3}},
      {{"--kind", "1002", "--until", "2024-03-05 10:02:00"}, {0, 1, 2}},
      {{"--kind", "1002", "--since", "2024-03-05T10:01", "--until", "2024-03-05T10:01:00.000"}, {1}},
      {{"--kind", "1002", "--since", "2024-03-06"}, {}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"export"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    CliResult r = RunCli(args);
    EXPECT_EQ(r.exit_code, 0) << c.args[1] << r.err;
    EXPECT_EQ(Codes(JsonLines(r.out)), c.codes) << ::testing::PrintToString(c.args);
  }
}

TEST_F(ExportTest, RecordsRemovedBeforeTheyWereReadAreReported) {
  const auto first = logs_.Put("etc", "2024030500.log", Simples(0, 2));
  ASSERT_EQ(RunCli({"export", "--kind", "etc", "--cursor-file", Cursor()}).exit_code, 0);
  logs_.Append(first, Simples(2, 3));
  logs_.Put("etc", "2024030600.log", Simples(5, 1));
  fs::remove(first);  // pruned before the next run read it

  // A damaged file (a sub code out of bounds) is skipped and reported too.
  logs_.Put("firewall", "2024030500.log", {RecordBytes(Firewall(1, 1))});
  logs_.Put("pc scan", "2024030500.log", {RecordBytes(PCScan(2, 206))});

  CliResult r = RunCli({"export", "--cursor-file", Cursor()});
  EXPECT_EQ(r.exit_code, 3);
  EXPECT_EQ(Codes(JsonLines(r.out)), (std::vector<int>{1, 5}));
  EXPECT_NE(r.err.find("qorlog: export: etc: 2024030500.log was removed before it was read to its end: records from "
                       "number 3 on were skipped"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("going on with 2024030600.log"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("pc scan: 2024030500.log cannot be exported: it is damaged"), std::string::npos) << r.err;
}

TEST_F(ExportTest, FollowGoesAcrossRotationAndANewDayUntilStopped) {
  const auto today = logs_.Put("firewall", "2024030500.log", {RecordBytes(Firewall(0, 0))});
  Background follow({"export", "--follow", "--kind", "firewall", "--kind", "etc", "--cursor-file", Cursor()});
  ASSERT_TRUE(WaitFor([&] { return follow.LineCount() == 1; })) << follow.err();
  logs_.Append(today, {RecordBytes(Firewall(1, 0))});
  ASSERT_TRUE(WaitFor([&] { return follow.LineCount() == 2; })) << follow.err();
  logs_.Put("firewall", "2024030501.log", {RecordBytes(Firewall(2, 0))});  // rotation
  ASSERT_TRUE(WaitFor([&] { return follow.LineCount() == 3; })) << follow.err();
  // A folder made while following, alone: only the watch above it can tell.
  logs_.Put("etc", "2024030600.log", Simples(4, 1));
  ASSERT_TRUE(WaitFor([&] { return follow.LineCount() == 4; })) << follow.err();
  logs_.Put("firewall", "2024030600.log", {RecordBytes(Firewall(3, 0))});  // a new day
  ASSERT_TRUE(WaitFor([&] { return follow.LineCount() == 5; })) << follow.err();
  const int stopped = follow.Stop();
  // Each kind in order.
  std::vector<int> firewall, etc;
  for (const json& j : JsonLines(follow.out()))
    (j["qorlog"]["kind"] == 1001 ? firewall : etc).push_back(j["qorlog"]["code"]);
  EXPECT_EQ(firewall, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(etc, (std::vector<int>{4}));
  if (!follow.asked()) GTEST_SKIP() << "a console program without a window cannot be asked to stop on Windows";
  EXPECT_EQ(stopped, 0);
  // Stopped with the cursor saved: nothing left for the next run.
  EXPECT_EQ(RunCli({"export", "--kind", "firewall", "--kind", "etc", "--cursor-file", Cursor()}).out, "");
}

TEST_F(ExportTest, KilledRunsRestartedFromTheCursorMissNothing) {
  constexpr int kBatch = 7;
  std::mt19937 random(20240305);
  std::vector<std::string> outputs;
  std::vector<std::string> args = {"export", "--follow", "--batch", std::to_string(kBatch), "--cursor-file", Cursor()};
  int expected = 0;
  fs::path current;
  for (int run = 0; run < 12; ++run) {
    // Between runs the logs grow: more records, a rotation, a new day.
    const std::string day = "202403" + std::to_string(10 + run / 4);
    const std::string name = day + "0" + std::to_string(run % 4 / 2) + ".log";
    if (!fs::exists(logs_.CategoryFolder("etc") / name)) {
      current = logs_.Put("etc", name, Simples(expected, 40));
    } else {
      logs_.Append(current, Simples(expected, 40));
    }
    logs_.Put("firewall", day + "0" + std::to_string(run % 4) + ".log", {RecordBytes(Firewall(run, 0))});
    expected += 40;
    Background exporter(args);
    const std::size_t wanted = std::uniform_int_distribution<std::size_t>(0, 41)(random);
    WaitFor([&] { return exporter.LineCount() >= wanted; });
    exporter.Kill();
    outputs.push_back(exporter.out());
  }
  args.erase(args.begin() + 1);  // a last run without --follow takes the rest
  CliResult last = RunCli(args);
  ASSERT_EQ(last.exit_code, 0) << last.err;
  outputs.push_back(last.out);

  // Every record is there; a record written by a killed run comes again
  // later only when it was in that run's last batch (the one in flight).
  std::vector<std::vector<std::string>> ids;
  std::set<std::string> all;
  for (const std::string& out : outputs) {
    ids.emplace_back();
    for (const json& j : JsonLines(out)) ids.back().push_back(j["event"]["id"].get<std::string>());
    all.insert(ids.back().begin(), ids.back().end());
  }
  EXPECT_EQ(all.size(), static_cast<std::size_t>(expected + 12));
  for (std::size_t run = 0; run + 1 < ids.size(); ++run) {
    std::set<std::string> later;
    for (std::size_t next = run + 1; next < ids.size(); ++next) later.insert(ids[next].begin(), ids[next].end());
    for (std::size_t i = 0; i < ids[run].size(); ++i) {
      if (later.count(ids[run][i]) != 0) {
        EXPECT_GE(i + kBatch, ids[run].size()) << "run " << run << " line " << i;
      }
    }
  }
}

}  // namespace
}  // namespace qorlog::testing
