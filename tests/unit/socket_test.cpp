// The socket wrapper against real loopback peers: the error codes it reports
// are the Windows Sockets codes that end up in result messages and logs.
#include "net/socket.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace {

// A plain BSD socket bound to 127.0.0.1 on an ephemeral port, as the peer.
class Peer {
 public:
  Peer(int type, int backlog) {
    fd_ = socket(AF_INET, type, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    socklen_t len = sizeof(a);
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    if (type == SOCK_STREAM && backlog >= 0) listen(fd_, backlog);
  }
  ~Peer() { close(fd_); }
  int fd() const { return fd_; }
  std::uint16_t port() const { return port_; }

  // Accepts one connection with a receive time-out, so a test never hangs.
  int Accept() {
    int c = accept(fd_, nullptr, nullptr);
    timeval tv{2, 0};
    setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
    return c;
  }

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

// A port on which nothing listens: bound, then released.
std::uint16_t ClosedPort() {
  Peer p(SOCK_STREAM, -1);
  return p.port();
}

TEST(ParseIpv4, AcceptsOnlyDottedDecimal) {
  struct Case {
    const char* text;
    bool ok;
    std::uint32_t hostOrder;
  };
  const Case cases[] = {
      {"127.0.0.1", true, 0x7F000001},     {"0.0.0.0", true, 0},
      {"255.255.255.255", true, 0xFFFFFFFF}, {"192.168.1.20", true, 0xC0A80114},
      {"", false, 0},                      {"localhost", false, 0},
      {"1.2.3", false, 0},                 {"1.2.3.4.5", false, 0},
      {"256.1.1.1", false, 0},             {"1.2.3.4 ", false, 0},
      {" 1.2.3.4", false, 0},              {"0x7f.0.0.1", false, 0},
      {"1..2.3", false, 0},                {"1.2.3.0004", false, 0},
      {"1.2.3.", false, 0},                {"-1.2.3.4", false, 0},
  };
  for (const Case& c : cases) {
    std::uint32_t address = 0;
    EXPECT_EQ(ParseIpv4(c.text, &address), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(ntohl(address), c.hostOrder) << c.text;
    }
  }
}

TEST(Socket, ConnectsSendsAndReceivesOverLoopback) {
  Peer listener(SOCK_STREAM, 4);
  Socket s = Socket::Tcp();
  ASSERT_TRUE(s.IsValid());
  ASSERT_EQ(s.SetSendTimeout(1000), 0);
  ASSERT_EQ(s.SetReceiveTimeout(1000), 0);
  ASSERT_EQ(s.Connect("127.0.0.1", listener.port()), 0);
  int peer = listener.Accept();
  ASSERT_GE(peer, 0);

  EXPECT_EQ(s.Send("ping", 4), 4);
  char got[16] = {};
  EXPECT_EQ(recv(peer, got, sizeof(got), 0), 4);
  EXPECT_EQ(std::string(got, 4), "ping");

  ASSERT_EQ(send(peer, "pong!", 5, 0), 5);
  char back[16] = {};
  EXPECT_EQ(s.Receive(back, sizeof(back)), 5);
  EXPECT_EQ(std::string(back, 5), "pong!");

  // The peer closing gracefully reads as 0 bytes, not as an error.
  close(peer);
  EXPECT_EQ(s.Receive(back, sizeof(back)), 0);
}

TEST(Socket, ReportsFailuresAsWindowsSocketsCodes) {
  Peer listener(SOCK_STREAM, 4);
  const std::uint16_t closed = ClosedPort();

  Socket refused = Socket::Tcp();
  EXPECT_EQ(refused.Connect("127.0.0.1", closed), 10061);
  EXPECT_EQ(Socket::LastError(), 10061);

  Socket refusedWithin = Socket::Tcp();
  EXPECT_EQ(refusedWithin.ConnectWithin("127.0.0.1", closed, 300), 10061);

  Socket notAnAddress = Socket::Tcp();
  EXPECT_EQ(notAnAddress.Connect("localhost", listener.port()), 10022);
  EXPECT_EQ(notAnAddress.ConnectWithin("127.0.0.1:2985", listener.port(), 300), 10022);

  // Nothing arrives: the receive time-out ends the read as WSAETIMEDOUT.
  Socket silent = Socket::Tcp();
  ASSERT_EQ(silent.SetReceiveTimeout(200), 0);
  ASSERT_EQ(silent.Connect("127.0.0.1", listener.port()), 0);
  char buffer[8];
  EXPECT_EQ(silent.Receive(buffer, sizeof(buffer)), -1);
  EXPECT_EQ(Socket::LastError(), 10060);

  // A closed socket object fails cleanly.
  Socket none;
  EXPECT_FALSE(none.IsValid());
  EXPECT_EQ(none.Send("x", 1), -1);
  EXPECT_EQ(Socket::LastError(), 10038);
}

TEST(Socket, ConnectToAPeerThatNeverAnswersGivesUp) {
  // A listener whose accept queue is full drops further SYNs, just like a
  // server machine that never answers: connects must end with a time-out.
  Peer listener(SOCK_STREAM, 0);
  Socket held[8];
  int withinResult = 0;
  for (Socket& s : held) {
    s = Socket::Tcp();
    withinResult = s.ConnectWithin("127.0.0.1", listener.port(), 300);
    if (withinResult != 0) break;
  }
  EXPECT_EQ(withinResult, 10060);

  // A send time-out bounds the plain Connect as well.
  Socket bounded = Socket::Tcp();
  ASSERT_EQ(bounded.SetSendTimeout(300), 0);
  EXPECT_EQ(bounded.Connect("127.0.0.1", listener.port()), 10060);
}

TEST(Socket, NonBlockingModeReportsWouldBlock) {
  Peer listener(SOCK_STREAM, 4);
  Socket s = Socket::Tcp();
  ASSERT_EQ(s.ConnectWithin("127.0.0.1", listener.port(), 1000), 0);
  ASSERT_EQ(s.SetNonBlocking(true), 0);
  char buffer[8];
  EXPECT_EQ(s.Receive(buffer, sizeof(buffer)), -1);
  EXPECT_EQ(Socket::LastError(), 10035);
}

TEST(Socket, AbortiveCloseResetsTheConnection) {
  Peer listener(SOCK_STREAM, 4);
  Socket s = Socket::Tcp();
  ASSERT_EQ(s.Connect("127.0.0.1", listener.port()), 0);
  int peer = listener.Accept();
  ASSERT_GE(peer, 0);

  EXPECT_TRUE(s.CloseAbortive());
  EXPECT_FALSE(s.IsValid());
  EXPECT_FALSE(s.CloseAbortive());  // already closed

  char buffer[8];
  errno = 0;
  EXPECT_EQ(recv(peer, buffer, sizeof(buffer), 0), -1);
  EXPECT_EQ(errno, ECONNRESET);
  close(peer);
}

TEST(Socket, SendsDatagrams) {
  Peer receiver(SOCK_DGRAM, -1);
  timeval tv{2, 0};
  setsockopt(receiver.fd(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
  Socket s = Socket::Udp();
  ASSERT_TRUE(s.IsValid());
  EXPECT_EQ(s.SendTo("notice", 6, "127.0.0.1", receiver.port()), 6);
  EXPECT_EQ(s.SendTo("notice", 6, "not-an-ip", receiver.port()), -1);
  EXPECT_EQ(Socket::LastError(), 10022);
  char got[16] = {};
  EXPECT_EQ(recv(receiver.fd(), got, sizeof(got), 0), 6);
  EXPECT_EQ(std::string(got, 6), "notice");
}

TEST(Socket, MovingHandsOverTheConnection) {
  Peer listener(SOCK_STREAM, 4);
  Socket a = Socket::Tcp();
  ASSERT_EQ(a.Connect("127.0.0.1", listener.port()), 0);
  Socket b = std::move(a);
  EXPECT_FALSE(a.IsValid());
  ASSERT_TRUE(b.IsValid());
  int peer = listener.Accept();
  EXPECT_EQ(b.Send("x", 1), 1);
  char got = 0;
  EXPECT_EQ(recv(peer, &got, 1, 0), 1);
  close(peer);
}

}  // namespace

TEST(ResolveIpv4, DottedTextAsItIsAndNamesThroughTheResolver) {
  std::string dotted;
  ASSERT_TRUE(ResolveIpv4("192.168.1.20", &dotted));
  EXPECT_EQ(dotted, "192.168.1.20");
  ASSERT_TRUE(ResolveIpv4("localhost", &dotted));
  EXPECT_EQ(dotted, "127.0.0.1");
  EXPECT_FALSE(ResolveIpv4("", &dotted));
}
