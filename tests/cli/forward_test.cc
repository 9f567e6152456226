// qorlog forward against a real collector: rsyslogd started by the test with
// its own configuration (TCP input on a loopback port, structured data parsed
// by mmpstrucdata, a JSON file output, its own work folder), never the
// system's.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <spawn.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "tests/cli/export_fixture.h"

extern char** environ;

namespace qorlog::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr const char* kRsyslogd = "/usr/sbin/rsyslogd";

// rsyslogd -n with a configuration of its own. Port 0 at first start: it
// picks a free port and names it in a file; a restart keeps that port.
class Collector {
 public:
  ~Collector() { Stop(); }

  bool Start() {
    const std::string port = port_ == 0 ? "0" : std::to_string(port_);
    WriteFile(dir_.path() / "rsyslog.conf",
              "global(workDirectory=\"" + dir_.str() + "\" parser.escapeControlCharactersOnReceive=\"off\")\n"
              "module(load=\"imtcp\")\n"
              "module(load=\"mmpstrucdata\")\n"
              "template(name=\"json\" type=\"string\" string=\"%jsonmesg%\\n\")\n"
              "ruleset(name=\"in\") {\n"
              "  action(type=\"mmpstrucdata\")\n"
              "  action(type=\"omfile\" file=\"" + (dir_.path() / "received.json").string() + "\" template=\"json\")\n"
              "}\n"
              "input(type=\"imtcp\" address=\"127.0.0.1\" port=\"" + port + "\" listenPortFileName=\"" +
              (dir_.path() / "port").string() + "\" ruleset=\"in\")\n");
    fs::remove(dir_.path() / "port");
    const std::string conf = (dir_.path() / "rsyslog.conf").string();
    const std::string pid_file = (dir_.path() / "rsyslogd.pid").string();
    std::vector<std::string> args = {kRsyslogd, "-n", "-f", conf, "-i", pid_file};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string log = (dir_.path() / "rsyslogd.out").string();
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const int rc = posix_spawn(&pid_, kRsyslogd, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return false;
    // The port file is written only for a port it picked; on a restart, wait
    // until the port takes connections.
    if (port_ != 0) return WaitFor([&] { return Listening(); });
    if (!WaitFor([&] { return !ReadFile(dir_.path() / "port").empty(); })) return false;
    port_ = std::stoi(ReadFile(dir_.path() / "port"));
    return true;
  }

  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  bool Listening() const {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port_));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    close(fd);
    return ok;
  }

  std::string url() const { return "tcp://127.0.0.1:" + std::to_string(port_); }
  std::vector<json> Received() const { return JsonLines(ReadFile(dir_.path() / "received.json")); }
  bool WaitForMessages(std::size_t count) const {
    return WaitFor([&] { return Received().size() >= count; });
  }
  std::string log() const { return ReadFile(dir_.path() / "rsyslogd.out"); }

 private:
  TempDir dir_;
  pid_t pid_ = -1;
  int port_ = 0;
};

class ForwardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access(kRsyslogd, X_OK) != 0) GTEST_SKIP() << "rsyslogd is not installed (scripts/install-deps.sh installs it)";
    setenv("TZ", "JST-9", 1);
    ASSERT_TRUE(collector_.Start()) << collector_.log();
  }
  void TearDown() override { unsetenv("TZ"); }

  LogFolders logs_;
  Collector collector_;
};

TEST_F(ForwardTest, RecordsOfEveryKindArriveWithEveryFieldParsed) {
  logs_.Put("pc scan", "2024030500.log", {RecordBytes(PCScan(1, 2, u"scan \u00fc", u"C:\\virus [x]"))});
  logs_.Put("firewall", "2024030500.log", {RecordBytes(Firewall(3, 4, 4000000000u, u"rule \"a\"]\n\tnext"))});
  logs_.Put("secure browser", "2024030500.log", {RecordBytes(Simple(5, 6, u"\u65e5\u672c\u8a9e"))});
  logs_.Put("etc", "2024030500.log", {RecordBytes(Simple(7, 405, u""))});

  CliResult r = RunCli({"forward", "--to", collector_.url(), "--enterprise-number", "4711"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  ASSERT_TRUE(collector_.WaitForMessages(4)) << collector_.log();
  const auto got = collector_.Received();
  ASSERT_EQ(got.size(), 4u);

  const struct {
    const char* msgid;
    const char* kind;
    const char* code;
    const char* subcode;
    const char* msg;
    json texts;
  } expected[] = {
      {"pcscan", "1000", "1", "2", "scan \xc3\xbc | C:\\virus [x]", {{"text64", "scan \xc3\xbc"}, {"text260", "C:\\virus [x]"}}},
      {"firewall", "1001", "3", "4", "app | rule \"a\"]\n\tnext | 10.0.0.1",
       {{"text64", "app"}, {"text260", "rule \"a\"]\n\tnext"}, {"text64b", "10.0.0.1"}, {"param", "4000000000"}}},
      {"simple", "1003", "5", "6", "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e", {{"text260", "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e"}}},
      {"simple", "1005", "7", "405", "", {{"text260", ""}}},
  };
  for (std::size_t i = 0; i < 4; ++i) {
    const json& m = got[i];
    SCOPED_TRACE(m.dump());
    EXPECT_EQ(m["app-name"], "qorlog");
    EXPECT_EQ(m["msgid"], expected[i].msgid);
    EXPECT_EQ(m["procid"], "-");
    EXPECT_EQ(m["pri"], "14");  // user-level, informational
    EXPECT_EQ(m["timereported"], "2024-03-14T09:08:07." + std::string(i == 0 ? "001" : i == 1 ? "003" : i == 2 ? "005" : "007") + "+09:00");
    EXPECT_FALSE(m["hostname"].get<std::string>().empty());
    EXPECT_EQ(m["msg"], expected[i].msg);
    const json& sd = m["$!"]["rfc5424-sd"]["qorlog@4711"];
    EXPECT_EQ(sd["kind"], expected[i].kind);
    EXPECT_EQ(sd["code"], expected[i].code);
    EXPECT_EQ(sd["subcode"], expected[i].subcode);
    EXPECT_EQ(sd["index"], "0");
    EXPECT_EQ(sd["file"], "2024030500.log");
    EXPECT_EQ(sd["id"].get<std::string>().size(), 18u);
    for (const auto& [name, value] : expected[i].texts.items()) EXPECT_EQ(sd[name], value) << name;
  }
  // On the wire the values are escaped as RFC 5424 asks ('"', '\\', ']'),
  // which rsyslog would also take unescaped inside the quotes.
  EXPECT_NE(got[0]["structured-data"].get<std::string>().find(R"(text260="C:\\virus [x\]")"), std::string::npos);
  EXPECT_NE(got[1]["structured-data"].get<std::string>().find(R"(text260="rule \"a\"\])"), std::string::npos);
}

TEST_F(ForwardTest, ACollectorThatWasDownGetsEverythingOnceBack) {
  const auto file = logs_.Put("firewall", "2024030500.log", {RecordBytes(Firewall(0, 0))});
  const std::string cursor = (logs_.env().root() / "cursor.json").string();
  Background forward({"forward", "--follow", "--to", collector_.url(), "--cursor-file", cursor});
  ASSERT_TRUE(collector_.WaitForMessages(1)) << forward.err();

  collector_.Stop();  // its connection to the forwarder is left half-closed
  logs_.Append(file, {RecordBytes(Firewall(1, 0)), RecordBytes(Firewall(2, 0))});
  ASSERT_TRUE(WaitFor([&] { return forward.err().find("cannot deliver") != std::string::npos; })) << forward.err();
  ASSERT_TRUE(collector_.Start()) << collector_.log();
  logs_.Put("firewall", "2024030501.log", {RecordBytes(Firewall(3, 0))});

  ASSERT_TRUE(collector_.WaitForMessages(4)) << forward.err();
  EXPECT_EQ(forward.Stop(SIGTERM), 0) << forward.err();
  std::set<std::string> codes;
  for (const json& m : collector_.Received()) codes.insert(m["$!"]["rfc5424-sd"]["qorlog@32473"]["code"].get<std::string>());
  EXPECT_EQ(codes, (std::set<std::string>{"0", "1", "2", "3"}));
  EXPECT_NE(forward.err().find("takes records again"), std::string::npos) << forward.err();
}

TEST_F(ForwardTest, BadCollectorAddressesAndAnUnreachableOneAreReported) {
  logs_.Put("firewall", "2024030500.log", {RecordBytes(Firewall(0, 0))});
  const struct {
    std::vector<std::string> args;
    int exit_code;
    const char* says;
  } cases[] = {
      {{}, 2, "give the collector with --to"},
      {{"--to", "udp://127.0.0.1:514"}, 2, "only tcp:// is offered"},
      {{"--to", "tcp://127.0.0.1"}, 2, "is not of the form tcp://HOST:PORT"},
      {{"--to", "tcp://127.0.0.1:70000"}, 2, "outside 1 to 65535"},
      {{"--to", "tls://127.0.0.1:6514"}, 2, "TLS"},
      {{"--to", "tcp://127.0.0.1:1"}, 4, "cannot deliver to 127.0.0.1:1 (connection refused), gave up after 3 tries"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"forward"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    CliResult r = RunCli(args);
    EXPECT_EQ(r.exit_code, c.exit_code) << r.err;
    EXPECT_NE(r.err.find("qorlog: forward: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
  }
}

}  // namespace
}  // namespace qorlog::testing
