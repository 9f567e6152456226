// TcpClient against a listener of the test's own, and the local time zone's
// offset.
#include "platform/tcp_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "platform/time_zone.h"

namespace qorlog::platform {
namespace {

// A loopback listener on a port the system picks.
class Listener {
 public:
  Listener() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    listen(fd_, 4);
    socklen_t len = sizeof addr;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
  }
  ~Listener() { Close(); }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  int Accept() { return accept(fd_, nullptr, nullptr); }
  std::uint16_t port() const { return port_; }

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

TEST(TcpClientTest, SendsWaitsForDeliveryAndSeesThePeerGo) {
  Listener listener;
  TcpClient client;
  EXPECT_TRUE(client.PeerClosed());  // not connected
  ASSERT_EQ(client.Connect("localhost", listener.port(), 5000), 0u);
  const int peer = listener.Accept();
  ASSERT_GE(peer, 0);
  EXPECT_FALSE(client.PeerClosed());

  const std::string bytes(200000, 'x');  // more than one socket buffer
  std::string received;
  std::thread reader([&] {
    char buf[65536];
    for (ssize_t n; received.size() < bytes.size() && (n = read(peer, buf, sizeof buf)) > 0;) received.append(buf, n);
  });
  EXPECT_EQ(client.Send(bytes, 5000), 0u);
  EXPECT_EQ(client.Delivered(5000), 0u);
  reader.join();
  EXPECT_EQ(received, bytes);

  close(peer);  // the collector goes away: its end is closed
  ASSERT_TRUE(client.IsConnected());
  for (int i = 0; i < 1000 && !client.PeerClosed(); ++i) usleep(1000);
  EXPECT_TRUE(client.PeerClosed());
}

TEST(TcpClientTest, ConnectFailuresGiveSocketErrorCodes) {
  Listener listener;
  const std::uint16_t closed_port = listener.port();
  listener.Close();
  TcpClient client;
  EXPECT_EQ(client.Connect("127.0.0.1", closed_port, 5000), kWsaConnRefused);
  EXPECT_FALSE(client.IsConnected());
  EXPECT_EQ(client.Connect("no-such-host.invalid", 514, 5000), kWsaHostNotFound);
  EXPECT_EQ(client.Send("x", 100), kWsaNotConnected);
  EXPECT_EQ(TcpErrorText(kWsaConnRefused), "connection refused");
  EXPECT_FALSE(LocalHostName().empty());
}

TEST(TimeZoneTest, OffsetFollowsTheZoneAndItsSummerTime) {
  const char* old = std::getenv("TZ");
  const std::string saved = old ? old : "";
  const struct {
    const char* zone;
    SYSTEMTIME time;
    int minutes;
  } cases[] = {
      {"JST-9", {2024, 3, 0, 5, 14, 0, 0, 0}, 540},
      {"CET-1CEST,M3.5.0,M10.5.0/3", {2024, 1, 0, 15, 12, 0, 0, 0}, 60},
      {"CET-1CEST,M3.5.0,M10.5.0/3", {2024, 7, 0, 15, 12, 0, 0, 0}, 120},
      {"NST3:30NDT,M3.2.0,M11.1.0", {2024, 1, 0, 15, 12, 0, 0, 0}, -210},
      {"UTC0", {1999, 12, 0, 31, 23, 59, 59, 999}, 0},
  };
  for (const auto& c : cases) {
    setenv("TZ", c.zone, 1);
    int minutes = 12345;
    EXPECT_TRUE(LocalTimeOffset(c.time, &minutes)) << c.zone;
    EXPECT_EQ(minutes, c.minutes) << c.zone;
  }
  int minutes = 0;
  EXPECT_FALSE(LocalTimeOffset({2024, 2, 0, 30, 0, 0, 0, 0}, &minutes));
  saved.empty() ? unsetenv("TZ") : setenv("TZ", saved.c_str(), 1);
}

}  // namespace
}  // namespace qorlog::platform
