// qorlog forward against a real collector: rsyslogd started by the test with
// its own configuration (a TCP input and a TLS input on loopback ports, the
// structured data parsed by mmpstrucdata, a JSON file output, its own work
// folder), never the system's. The TLS input's certificate, for "localhost",
// comes from a CA that the test makes with the openssl command. There is no
// rsyslogd on Windows: there the tests that need a collector skip, and the
// refusals that come before any collector run alone.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <regex>
#include <set>

#include "platform/tcp_client.h"
#include "tests/cli/cli_runner.h"

namespace qorlog::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr const char* kRsyslogd = "/usr/sbin/rsyslogd";

// rsyslogd -n with a configuration of its own. Ports 0 at first start: it
// picks free ports and names them in files; a restart keeps those ports.
class Collector {
 public:
  ~Collector() { Stop(); }

  // A CA, a certificate for "localhost" that it signed, and a CA that signed
  // nothing here.
  bool MakeCertificates() const {
    const std::string d = "cd '" + dir_.str() + "' && ";
    const std::string req = "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 ";
    return std::system((d + req + "-keyout ca.key -out ca.pem -subj /CN=qorlog-test-ca 2>/dev/null").c_str()) == 0 &&
           std::system((d + req + "-keyout other.key -out other-ca.pem -subj /CN=other-ca 2>/dev/null").c_str()) == 0 &&
           std::system((d + req +
                        "-keyout server.key -out server.pem -subj /CN=localhost -addext subjectAltName=DNS:localhost "
                        "-addext basicConstraints=CA:FALSE -CA ca.pem -CAkey ca.key 2>/dev/null")
                           .c_str()) == 0;
  }

  bool Start() {
    const std::string d = dir_.str() + "/";
    std::string conf = R"(global(workDirectory="@D" parser.escapeControlCharactersOnReceive="off"
  defaultNetstreamDriverCAFile="@Dca.pem" defaultNetstreamDriverCertFile="@Dserver.pem" defaultNetstreamDriverKeyFile="@Dserver.key")
module(load="imtcp")
module(load="mmpstrucdata")
template(name="json" type="string" string="%jsonmesg%\n")
ruleset(name="in") { action(type="mmpstrucdata") action(type="omfile" file="@Dreceived.json" template="json") }
input(type="imtcp" address="127.0.0.1" port="@P0" listenPortFileName="@Dport0" ruleset="in")
input(type="imtcp" address="127.0.0.1" port="@P1" listenPortFileName="@Dport1" ruleset="in"
  streamDriver.name="ossl" streamDriver.mode="1" streamDriver.authMode="anon")
)";
    conf = std::regex_replace(conf, std::regex("@D"), d);
    conf = std::regex_replace(conf, std::regex("@P0"), std::to_string(ports_[0]));
    WriteFile(dir_.path() / "rsyslog.conf", std::regex_replace(conf, std::regex("@P1"), std::to_string(ports_[1])));
    rsyslogd_ = std::make_unique<Background>(
        kRsyslogd, std::vector<std::string>{"-n", "-f", d + "rsyslog.conf", "-i", d + "rsyslogd.pid"});
    // The port files are written only for ports it picked; on a restart,
    // wait until the ports take connections.
    if (ports_[0] != 0) return WaitFor([&] { return Listening(ports_[0]) && Listening(ports_[1]); });
    for (int i = 0; i < 2; ++i) {
      const auto file = dir_.path() / ("port" + std::to_string(i));
      if (!WaitFor([&] { return !ReadFile(file).empty(); })) return false;  // also when it did not start
      ports_[i] = std::stoi(ReadFile(file));
    }
    return true;
  }

  void Stop() {
    if (rsyslogd_ != nullptr) rsyslogd_->Stop();
  }

  static bool Listening(int port) {
    return platform::TcpClient().Connect("127.0.0.1", static_cast<std::uint16_t>(port), 1000) == 0;
  }

  // The options of qorlog forward that reach this collector over `scheme`
  // (tls: by the certificate's name, checked against the test CA).
  std::vector<std::string> To(const std::string& scheme) const {
    if (scheme == "tcp") return {"--to", "tcp://127.0.0.1:" + std::to_string(ports_[0])};
    return {"--to", "tls://localhost:" + std::to_string(ports_[1]), "--ca-file", file("ca.pem")};
  }
  std::string tls_port() const { return std::to_string(ports_[1]); }
  std::string file(const char* name) const { return (dir_.path() / name).string(); }
  std::vector<json> Received() const { return JsonLines(ReadFile(dir_.path() / "received.json")); }
  bool WaitForMessages(std::size_t count) const {
    return WaitFor([&] { return Received().size() >= count; });
  }
  std::string log() const { return rsyslogd_ == nullptr ? "" : rsyslogd_->out() + rsyslogd_->err(); }

 private:
  TempDir dir_;
  std::unique_ptr<Background> rsyslogd_;
  int ports_[2] = {0, 0};
};

std::vector<std::string> Args(std::vector<std::string> args, const std::vector<std::string>& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

class ForwardTest : public ::testing::Test {
 protected:
  void SetUp() override {
#ifdef _WIN32
    GTEST_SKIP() << "rsyslogd is a Linux program";
#endif
    if (!fs::exists(kRsyslogd)) GTEST_SKIP() << "rsyslogd is not installed (scripts/install-deps.sh installs it)";
    SetEnv("TZ", "JST-9");
    ASSERT_TRUE(collector_.MakeCertificates()) << "the openssl command failed";
    ASSERT_TRUE(collector_.Start()) << collector_.log();
  }
  void TearDown() override { UnsetEnv("TZ"); }

  LogFolders logs_;
  Collector collector_;
};

// The same behaviour over tcp:// and tls://.
class ForwardOverTest : public ForwardTest, public ::testing::WithParamInterface<const char*> {};
INSTANTIATE_TEST_SUITE_P(Schemes, ForwardOverTest, ::testing::Values("tcp", "tls"));

TEST_P(ForwardOverTest, RecordsOfEveryKindArriveWithEveryFieldParsed) {
  logs_.Put("pc scan", "2024030500.log", {RecordBytes(PCScan(1, 2, u"scan \u00fc", u"C:\\virus [x]"))});
  logs_.Put("firewall", "2024030500.log", {RecordBytes(Firewall(3, 4, 4000000000u, u"rule \"a\"]\n\tnext"))});
  logs_.Put("secure browser", "2024030500.log", {RecordBytes(Simple(5, 6, u"\u65e5\u672c\u8a9e"))});
  logs_.Put("etc", "2024030500.log", {RecordBytes(Simple(7, 405, u""))});

  CliResult r = RunCli(Args({"forward", "--enterprise-number", "4711"}, collector_.To(GetParam())));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  ASSERT_TRUE(collector_.WaitForMessages(4)) << collector_.log();
  const auto got = collector_.Received();
  ASSERT_EQ(got.size(), 4u);

  const struct {
    const char* msgid;
    const char* msg;
    const char* sd;  // besides index, file and id
  } expected[] = {
      {"pcscan", "scan \xc3\xbc | C:\\virus [x]",
       R"({"kind":"1000","category":"pc scan","code":"1","subcode":"2","text64":"scan \u00fc",
           "text260":"C:\\virus [x]"})"},
      {"firewall", "app | rule \"a\"]\n\tnext | 10.0.0.1",
       R"({"kind":"1001","category":"firewall","code":"3","subcode":"4","text64":"app","text260":"rule \"a\"]\n\tnext",
           "text64b":"10.0.0.1","param":"4000000000"})"},
      {"simple", "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e",
       R"({"kind":"1003","category":"secure browser","code":"5","subcode":"6","text260":"\u65e5\u672c\u8a9e"})"},
      {"simple", "", R"({"kind":"1005","category":"etc","code":"7","subcode":"405","text260":""})"},
  };
  for (std::size_t i = 0; i < 4; ++i) {
    const json& m = got[i];
    SCOPED_TRACE(m.dump());
    EXPECT_EQ(m["app-name"], "qorlog");
    EXPECT_EQ(m["msgid"], expected[i].msgid);
    EXPECT_EQ(m["procid"], "-");
    EXPECT_EQ(m["pri"], "14");  // user-level, informational
    EXPECT_EQ(m["timereported"], "2024-03-14T09:08:07.00" + std::to_string(2 * i + 1) + "+09:00");
    EXPECT_FALSE(m["hostname"].get<std::string>().empty());
    EXPECT_EQ(m["msg"], expected[i].msg);
    const json& sd = m["$!"]["rfc5424-sd"]["qorlog@4711"];
    EXPECT_EQ(sd["id"].get<std::string>().size(), 18u);
    json want = json::parse(expected[i].sd);
    want.update({{"index", "0"}, {"file", "2024030500.log"}, {"id", sd["id"]}});
    EXPECT_EQ(sd, want);
  }
  // On the wire the values are escaped as RFC 5424 asks ('"', '\\', ']'),
  // which rsyslog would also take unescaped inside the quotes.
  EXPECT_NE(got[0]["structured-data"].get<std::string>().find(R"(text260="C:\\virus [x\]")"), std::string::npos);
  EXPECT_NE(got[1]["structured-data"].get<std::string>().find(R"(text260="rule \"a\"\])"), std::string::npos);
}

TEST_P(ForwardOverTest, ACollectorThatWasDownGetsEverythingOnceBack) {
  const auto file = logs_.Put("firewall", "2024030500.log", {RecordBytes(Firewall(0, 0))});
  const std::string cursor = (logs_.env().root() / "cursor.json").string();
  Background forward(Args({"forward", "--follow", "--cursor-file", cursor}, collector_.To(GetParam())));
  ASSERT_TRUE(collector_.WaitForMessages(1)) << forward.err();

  // A restart between two batches leaves the connection half-closed; the
  // forwarder sees that before sending and takes a new one, with no failed
  // delivery.
  collector_.Stop();
  ASSERT_TRUE(collector_.Start()) << collector_.log();
  logs_.Append(file, {RecordBytes(Firewall(1, 0))});
  ASSERT_TRUE(collector_.WaitForMessages(2)) << forward.err();
  EXPECT_EQ(forward.err(), "");

  collector_.Stop();
  logs_.Append(file, {RecordBytes(Firewall(2, 0)), RecordBytes(Firewall(3, 0))});
  ASSERT_TRUE(WaitFor([&] { return forward.err().find("cannot deliver") != std::string::npos; })) << forward.err();
  ASSERT_TRUE(collector_.Start()) << collector_.log();
  logs_.Put("firewall", "2024030501.log", {RecordBytes(Firewall(4, 0))});

  ASSERT_TRUE(collector_.WaitForMessages(5)) << forward.err();
  EXPECT_EQ(forward.Stop(), 0) << forward.err();
  std::set<std::string> codes, ids;
  for (const json& m : collector_.Received()) {
    const json& sd = m["$!"]["rfc5424-sd"]["qorlog@32473"];
    codes.insert(sd["code"].get<std::string>());
    ids.insert(sd["id"].get<std::string>());
  }
  EXPECT_EQ(codes, (std::set<std::string>{"0", "1", "2", "3", "4"}));
  EXPECT_EQ(ids.size(), codes.size());  // each record under an id of its own
  EXPECT_NE(forward.err().find("takes records again"), std::string::npos) << forward.err();
}

// The refusals before any collector is reached are golden cases; this one
// is Windows' own.
#ifdef _WIN32
TEST(ForwardCommandTest, TlsIsRefusedOnWindows) {
  LogFolders logs;
  QORLOG_SKIP_UNLESS_USABLE(logs.scope());
  logs.Put("firewall", "2024030500.log", {RecordBytes(Firewall(0, 0))});
  const fs::path ca = logs.env().root() / "ca.pem";
  WriteFile(ca, "-----BEGIN CERTIFICATE-----\nMIIB\n-----END CERTIFICATE-----\n");
  const CliResult r = RunCli({"forward", "--to", "tls://127.0.0.1:1", "--ca-file", ca.string()});
  EXPECT_EQ(r.exit_code, 4) << r.err;
  EXPECT_NE(r.err.find("(TLS is not available on Windows)"), std::string::npos) << r.err;
}
#endif

TEST_F(ForwardTest, CertificatesOfAnotherCaOrHostAreRefused) {
  logs_.Put("firewall", "2024030500.log", {RecordBytes(Firewall(0, 0))});
  const std::string tls_localhost = "tls://localhost:" + collector_.tls_port();
  const struct {
    std::vector<std::string> args;
    const char* says;
  } cases[] = {
      {{"--to", tls_localhost, "--ca-file", collector_.file("other-ca.pem")},
       "certificate is not signed by a CA of the CA file"},
      {{"--to", "tls://127.0.0.1:" + collector_.tls_port(), "--ca-file", collector_.file("ca.pem")},
       "certificate is for another host name"},
  };
  for (const auto& c : cases) {
    CliResult r = RunCli(Args({"forward"}, c.args));
    EXPECT_EQ(r.exit_code, 4) << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
  }
  EXPECT_EQ(collector_.Received().size(), 0u);  // nothing got past a refused certificate
}

}  // namespace
}  // namespace qorlog::testing
