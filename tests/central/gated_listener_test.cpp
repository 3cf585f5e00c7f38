// The gated listener's rules, each shown with a small client: where a request
// ends, the connection limits, the deadline of a whole request, and the bound
// on a reply's write to a client that does not read.
#include "central/http/gated_listener.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>
#include <system_error>
#include <thread>
#include <vector>

#include "central/base/clock.h"
#include "central/service.h"
#include "central/service_client.h"

namespace {

using State = RequestProgress::State;

TEST(RequestFraming, SaysWhereARequestEndsOrWhyItIsRefused) {
  struct Case {
    const char* what;
    std::string bytes;
    State state;
    int status;          // Refused
    std::size_t length;  // Complete
  };
  const std::string post = "POST /u HTTP/1.1\r\nHost: h\r\nContent-Length: 5\r\n\r\n";
  const Case cases[] = {
      {"whole, with its body", post + "hello", State::Complete, 0, post.size() + 5},
      {"bytes after the request", post + "hello" + "GET", State::Complete, 0, post.size() + 5},
      {"body still arriving", post + "hel", State::Incomplete, 0, 0},
      {"head still arriving", "POST /u HTTP/1.1\r\nHost: h\r\nContent-Le", State::Incomplete, 0, 0},
      {"no body", "GET / HTTP/1.1\r\n\r\n", State::Complete, 0, 18},
      {"lines ended by LF alone", "GET / HTTP/1.1\nHost: h\n\n", State::Complete, 0, 24},
      {"length in any case, spaced", "POST / HTTP/1.1\r\ncontent-length:  2 \r\n\r\nab", State::Complete, 0, 42},
      {"body over the limit", "POST / HTTP/1.1\r\nContent-Length: 70000\r\n\r\n", State::Refused, 413, 0},
      {"huge length", "POST / HTTP/1.1\r\nContent-Length: 99999999999999999999999\r\n\r\n", State::Refused, 413, 0},
      {"negative length", "POST / HTTP/1.1\r\nContent-Length: -5\r\n\r\n", State::Refused, 400, 0},
      {"empty length", "POST / HTTP/1.1\r\nContent-Length:\r\n\r\n", State::Refused, 400, 0},
      {"two lengths that differ", "POST / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nab",
       State::Refused, 400, 0},
      {"chunked body", "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n", State::Refused, 411, 0},
      {"no request line", "\r\nGET / HTTP/1.1\r\n\r\n", State::Refused, 400, 0},
      {"request line over the limit", std::string(17000, 'G'), State::Refused, 414, 0},
      {"headers over the limit", "GET / HTTP/1.1\r\nX: " + std::string(17000, 'a'), State::Refused, 431, 0},
  };
  const RequestLimits limits;
  for (const Case& c : cases) {
    const RequestProgress whole = ExamineRequest(c.bytes, limits);
    EXPECT_EQ(whole.state, c.state) << c.what;
    EXPECT_EQ(whole.status, c.status) << c.what;
    EXPECT_EQ(whole.state == State::Complete ? whole.length : 0, c.length) << c.what;
    // A byte at a time, as a slow client sends it: the same answer, at the
    // first byte that decides it.
    RequestFraming framing(limits);
    RequestProgress last;
    for (std::size_t n = 1; n <= c.bytes.size(); ++n) {
      last = framing.Update(std::string_view(c.bytes).substr(0, n));
      if (last.state != State::Incomplete) break;
    }
    EXPECT_EQ(last.state, c.state) << c.what;
    EXPECT_EQ(last.status, c.status) << c.what;
    EXPECT_EQ(last.state == State::Complete ? last.length : 0, c.length) << c.what;
  }
  const RequestProgress waits =
      ExamineRequest("POST / HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 3\r\n\r\n", limits);
  EXPECT_EQ(waits.state, State::Incomplete);
  EXPECT_TRUE(waits.wantsContinue);
}

// Connections and hit reports count a client by the same rule.
TEST(ConnectionLimits, AClientCountsAsItsAddressOrItsIpv6Network) {
  struct Case {
    const char* address;
    const char* slot;
  } cases[] = {
      {"10.1.2.3", "10.1.2.3"},
      {"2001:db8:1:2:aaaa:bbbb:cccc:dddd", "2001:db8:1:2::/64"},
      {"2001:db8:1:2::1", "2001:db8:1:2::/64"},
      {"::1", "::/64"},
      {"::ffff:10.1.2.3", "::ffff:10.1.2.3"},  // an IPv4 client of an IPv6 socket
      {"not an address", "not an address"},
  };
  for (const Case& c : cases) EXPECT_EQ(ClientSlot(c.address), c.slot) << c.address;
}

TEST(ConnectionLimits, BoundEachAddressAndAllAndGiveSlotsBack) {
  ConnectionLimits limits(2, 3);
  using A = ConnectionLimits::Admission;
  EXPECT_EQ(limits.Admit("10.0.0.1"), A::Admitted);
  EXPECT_EQ(limits.Admit("10.0.0.1"), A::Admitted);
  EXPECT_EQ(limits.Admit("10.0.0.1"), A::AddressFull);
  EXPECT_EQ(limits.Admit("10.0.0.2"), A::Admitted);
  EXPECT_EQ(limits.Admit("10.0.0.3"), A::AllFull);
  limits.Release("10.0.0.1");
  limits.Release("10.0.0.9");  // never admitted: changes nothing
  EXPECT_EQ(limits.Open(), 2u);
  EXPECT_EQ(limits.OpenFrom("10.0.0.1"), 1u);
  EXPECT_EQ(limits.Admit("10.0.0.3"), A::Admitted);
  limits.Release("10.0.0.1");
  limits.Release("10.0.0.2");
  limits.Release("10.0.0.3");
  EXPECT_EQ(limits.Open(), 0u);
  EXPECT_EQ(limits.OpenFrom("10.0.0.1"), 0u);
}

TEST(ConnectionLimits, TheChainsProxyCountsAgainstTheTotalOnly) {
  // The proxy brings every cafe's connections: an address's share would
  // leave the whole chain 2 connections.
  ConnectionLimits limits(2, 4, {"127.0.0.1"});
  using A = ConnectionLimits::Admission;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(limits.Admit("127.0.0.1"), A::Admitted) << i;
  EXPECT_EQ(limits.Admit("10.0.0.1"), A::Admitted);
  EXPECT_EQ(limits.Admit("127.0.0.1"), A::AllFull);
  limits.Release("10.0.0.1");
  EXPECT_EQ(limits.Admit("10.0.0.2"), A::Admitted);
  EXPECT_EQ(limits.Admit("10.0.0.2"), A::AllFull);
}

// A listener on loopback whose handler answers `replyBytes` bytes of body.
// Its workers' threads come from `startThread` when given.
struct TestListener {
  explicit TestListener(ListenerLimits limits, std::size_t replyBytes = 2,
                        GatedListener::ThreadStarter startThread = nullptr)
      : listener(
            limits,
            [limits, replyBytes](ReceivedRequest& r) {
              const std::string reply = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(replyBytes) +
                                        "\r\nConnection: close\r\n\r\n" + std::string(replyBytes, 'x');
              (void)SendBefore(r.fd, reply.data(), reply.size(),
                               SteadyMs() + limits.writeMs +
                                   static_cast<std::int64_t>(reply.size() * 1000 / limits.slowestReadBytesPerSecond));
            },
            std::move(startThread)) {
    std::string error;
    EXPECT_TRUE(listener.Bind("127.0.0.1", 0, error)) << error;
    listener.Start();
  }
  GatedListener listener;
};

// Reads what the server sends until it closes, at most `waitMs`; `error`
// gets the error that ended it (ECONNRESET for a reset), 0 for an orderly end.
std::string ReadUntilClosed(int fd, int waitMs, int* error = nullptr) {
  std::string bytes;
  char buffer[65536];
  const std::int64_t end = SteadyMs() + waitMs;
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(std::max<std::int64_t>(0, end - SteadyMs()))) <= 0) break;
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && error) *error = errno;
    if (n <= 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  // A reset that came after the server's end of data shows only here.
  socklen_t length = sizeof(int);
  if (error && *error == 0) getsockopt(fd, SOL_SOCKET, SO_ERROR, error, &length);
  return bytes;
}

TEST(GatedListener, AClientThatDripsItsRequestIsDroppedAtTheRequestsDeadline) {
  ListenerLimits limits;
  limits.requestMs = 1000;
  TestListener server(limits);
  const int fd = ConnectFrom(server.listener.Port(), "");
  ASSERT_GE(fd, 0);
  // A byte every 200 ms: every single read is quick, the request never whole.
  const std::string head = "GET / HTTP/1.1\r\nX: aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa";
  const std::int64_t start = SteadyMs();
  bool closed = false;
  for (std::size_t i = 0; i < head.size() && !closed; ++i) {
    closed = send(fd, &head[i], 1, MSG_NOSIGNAL) != 1;
    pollfd p{fd, POLLIN, 0};
    closed = closed || poll(&p, 1, 200) > 0;
  }
  const std::string reply = ReadUntilClosed(fd, 3000);
  const std::int64_t took = SteadyMs() - start;
  close(fd);
  EXPECT_EQ(reply.compare(0, 12, "HTTP/1.1 408"), 0) << reply;
  EXPECT_GE(took, 900);
  EXPECT_LT(took, 4000);
  EXPECT_EQ(server.listener.Counts().timedOut, 1);
  // Its slot is free again, and the listener still serves.
  EXPECT_EQ(server.listener.OpenConnections(), 0u);
  EXPECT_EQ(HttpGet(server.listener.Port(), "/").status, 200);
}

TEST(GatedListener, ConnectionsOverAnAddressesShareAreAnswered503AtOnce) {
  ListenerLimits limits;
  limits.perAddress = 2;
  TestListener server(limits);
  // Two connections that have begun a request and hold their slots.
  const int held[] = {ConnectFrom(server.listener.Port(), "127.0.0.2"),
                      ConnectFrom(server.listener.Port(), "127.0.0.2")};
  for (int fd : held) ASSERT_EQ(send(fd, "GET / HTTP/1.1\r\n", 16, MSG_NOSIGNAL), 16);
  for (int i = 0; i < 50 && server.listener.OpenConnectionsFrom("127.0.0.2") < 2; ++i) SleepMs(20);
  const std::int64_t start = SteadyMs();
  const RawReply refused = HttpGet(server.listener.Port(), "/", "", "127.0.0.2");
  EXPECT_EQ(refused.status, 503);
  EXPECT_LT(SteadyMs() - start, 1000);
  // Another address is not held back by that one.
  EXPECT_EQ(HttpGet(server.listener.Port(), "/", "", "127.0.0.3").status, 200);
  EXPECT_EQ(server.listener.Counts().refusedAddressFull, 1);
  for (int fd : held) close(fd);
}

// An IPv6 client usually holds a whole /64: its connections count together.
TEST(GatedListener, AnIpv6ClientsConnectionsCountByItsNetwork) {
  ListenerLimits limits;
  limits.perAddress = 2;
  GatedListener listener(limits, [](ReceivedRequest&) {});
  std::string error;
  if (!listener.Bind("::1", 0, error)) GTEST_SKIP() << "no IPv6 loopback here: " << error;
  listener.Start();
  sockaddr_in6 to{};
  to.sin6_family = AF_INET6;
  to.sin6_port = htons(static_cast<std::uint16_t>(listener.Port()));
  to.sin6_addr = in6addr_loopback;
  std::vector<int> held;
  for (int i = 0; i < 3; ++i) {
    const int fd = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    ASSERT_EQ(send(fd, "GET / HTTP/1.1\r\n", 16, MSG_NOSIGNAL), 16);
    held.push_back(fd);
  }
  EXPECT_EQ(ReadUntilClosed(held[2], 3000).compare(0, 12, "HTTP/1.1 503"), 0);
  EXPECT_EQ(listener.OpenConnectionsFrom("::/64"), 2u);
  for (int fd : held) close(fd);
}

TEST(GatedListener, AClientThatReadsItsReplyTooSlowlyHoldsAWorkerForABoundedTime) {
  ListenerLimits limits;
  limits.workers = 1;
  limits.writeMs = 300;
  limits.slowestReadBytesPerSecond = 16 << 20;  // the 8 MiB reply gets 0.8 s in all
  const std::size_t replyBytes = 8 << 20;
  TestListener server(limits, replyBytes);
  const int reader = ConnectFrom(server.listener.Port(), "127.0.0.2");
  ASSERT_GE(reader, 0);
  const std::string request = "GET / HTTP/1.1\r\n\r\n";
  ASSERT_EQ(send(reader, request.data(), request.size(), MSG_NOSIGNAL), static_cast<ssize_t>(request.size()));
  // It reads 16 KiB every 100 ms, well within each wait's time but far below
  // the slowest rate: the whole reply would take more than a minute.
  std::atomic<std::size_t> got{0};
  std::atomic<bool> stop{false};
  std::thread trickle([&] {
    char buffer[16 * 1024];
    while (!stop) {
      const ssize_t n = recv(reader, buffer, sizeof buffer, MSG_DONTWAIT);
      if (n == 0 || (n < 0 && errno != EAGAIN)) break;
      if (n > 0) got += static_cast<std::size_t>(n);
      SleepMs(100);
    }
  });
  // Another client is served meanwhile, by a worker started for it.
  SleepMs(100);
  EXPECT_EQ(HttpGet(server.listener.Port(), "/", "", "127.0.0.3").body.size(), replyBytes);
  // The slow reader's reply is given up at its time, its slot freed, while
  // it is still reading.
  const std::int64_t start = SteadyMs();
  while (server.listener.OpenConnectionsFrom("127.0.0.2") > 0 && SteadyMs() - start < 5000) SleepMs(20);
  EXPECT_EQ(server.listener.OpenConnectionsFrom("127.0.0.2"), 0u) << "the reply's write was not cut at its time";
  EXPECT_LT(got, replyBytes);
  stop = true;
  trickle.join();
  close(reader);
}

// A client at its address's share that connects again the moment its reply
// ends finds its slot free: the slot is given back before the close.
TEST(GatedListener, AClientThatReconnectsAtItsShareIsNeverRefusedForItsOwnLastConnection) {
  ListenerLimits limits;
  limits.perAddress = 1;
  TestListener server(limits);
  int refused = 0;
  for (int i = 0; i < 300; ++i) refused += HttpGet(server.listener.Port(), "/", "", "127.0.0.2").status == 200 ? 0 : 1;
  EXPECT_EQ(refused, 0);
  EXPECT_EQ(server.listener.Counts().refusedAddressFull, 0);
}

// A client that sends its next request while a large reply is still on its
// way gets the whole reply and an orderly end, not a reset that throws away
// what it has not read yet.
TEST(GatedListener, InputLeftUnreadDoesNotResetTheConnectionUnderTheReply) {
  ListenerLimits limits;
  limits.lingerMs = 3000;
  const std::size_t replyBytes = 4 << 20;
  TestListener server(limits, replyBytes);
  const int fd = ConnectFrom(server.listener.Port(), "");
  ASSERT_GE(fd, 0);
  ASSERT_EQ(send(fd, "GET / HTTP/1.1\r\n\r\n", 18, MSG_NOSIGNAL), 18);
  // The next request comes after the first was taken; it stays unread while
  // the reply fills the buffers.
  SleepMs(100);
  ASSERT_EQ(send(fd, "GET /again HTTP/1.1\r\n\r\n", 24, MSG_NOSIGNAL), 24);
  SleepMs(200);
  int error = 0;
  const std::string bytes = ReadUntilClosed(fd, 10000, &error);
  close(fd);
  EXPECT_EQ(error, 0) << std::strerror(error);
  const std::size_t body = bytes.find("\r\n\r\n");
  ASSERT_NE(body, std::string::npos);
  EXPECT_EQ(bytes.size() - body - 4, replyBytes);
}

// The refusals the listener writes itself end the same orderly way: the
// client reads its 503 or 413 even though its request was never read whole.
TEST(GatedListener, ARefusalIsReadWholeNotResetByTheRestOfTheRequest) {
  ListenerLimits limits;
  limits.request.maxBodyBytes = 1024;
  TestListener server(limits);
  struct Case {
    std::string request;
    const char* status;
  } cases[] = {
      {"POST / HTTP/1.1\r\nContent-Length: 2000000\r\n\r\n" + std::string(100000, 'b'), "HTTP/1.1 413"},
      {"GET / HTTP/1.1\r\nX: " + std::string(100000, 'h'), "HTTP/1.1 431"},
  };
  for (const Case& c : cases) {
    const int fd = ConnectFrom(server.listener.Port(), "");
    ASSERT_GE(fd, 0);
    ASSERT_EQ(send(fd, c.request.data(), c.request.size(), MSG_NOSIGNAL), static_cast<ssize_t>(c.request.size()));
    int error = 0;
    const std::string reply = ReadUntilClosed(fd, 5000, &error);
    close(fd);
    EXPECT_EQ(reply.compare(0, 12, c.status), 0) << reply;
    EXPECT_EQ(error, 0) << c.status << ": " << std::strerror(error);
  }
}

// The reply's socket queues little beyond what the client has read, so a
// client that reads nothing is given up at the reply's time instead of
// leaving megabytes in this machine's buffers.
TEST(GatedListener, AReplyToAClientThatReadsNothingIsNotCountedAsSent) {
  ListenerLimits limits;
  std::atomic<int> sent{-1};
  const std::size_t replyBytes = 2 << 20;
  GatedListener listener(limits, [&](ReceivedRequest& r) {
    const std::string reply(replyBytes, 'x');
    sent = SendBefore(r.fd, reply.data(), reply.size(), SteadyMs() + 500) ? 1 : 0;
  });
  std::string error;
  ASSERT_TRUE(listener.Bind("127.0.0.1", 0, error)) << error;
  listener.Start();
  const int fd = ConnectFrom(listener.Port(), "");
  ASSERT_EQ(send(fd, "GET / HTTP/1.1\r\n\r\n", 18, MSG_NOSIGNAL), 18);
  for (int i = 0; i < 500 && sent < 0; ++i) SleepMs(10);
  EXPECT_EQ(sent, 0) << "2 MiB were taken by the buffers of a client that read nothing";
  close(fd);
}

// Workers started for a crowd of slow readers stop at the ceiling (a request
// past it waits for a free one) and end once idle again.
TEST(GatedListener, WorkersGrowToTheCeilingAndIdleOnesEnd) {
  ListenerLimits limits;
  limits.workers = 1;
  limits.maxWorkers = 3;
  limits.idleWorkerMs = 100;
  TestListener server(limits, 8 << 20);
  std::vector<int> readers;
  for (int i = 0; i < 6; ++i) {
    const int fd = ConnectFrom(server.listener.Port(), "127.0.0." + std::to_string(10 + i));
    ASSERT_GE(fd, 0);
    ASSERT_EQ(send(fd, "GET / HTTP/1.1\r\n\r\n", 18, MSG_NOSIGNAL), 18);
    readers.push_back(fd);
  }
  for (int i = 0; i < 100 && server.listener.Counts().served < 6; ++i) SleepMs(20);
  EXPECT_EQ(server.listener.Counts().served, 6);
  EXPECT_EQ(server.listener.Workers(), 3u);
  for (int fd : readers) close(fd);
  std::size_t workers = 0;
  for (int i = 0; i < 300 && (workers = server.listener.Workers()) > 1; ++i) SleepMs(20);
  EXPECT_EQ(workers, 1u);
  // The one left serves.
  EXPECT_EQ(HttpGet(server.listener.Port(), "/").status, 200);
}

// A worker's thread the system refuses (a process or memory limit) is no
// worker for now, never the end of the service: the whole request waits, and
// is served once the system gives a thread again, without another request
// coming to prompt it.
TEST(GatedListener, AWorkerThreadTheSystemRefusesLeavesTheRequestWaiting) {
  std::atomic<bool> refuse{true};
  std::atomic<int> refused{0};
  ListenerLimits limits;
  limits.workers = 1;
  limits.maxWorkers = 2;
  TestListener server(limits, 2, [&](std::function<void()> run) {
    if (refuse) {
      ++refused;
      throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    }
    return std::thread(std::move(run));
  });
  EXPECT_EQ(server.listener.Workers(), 0u);
  const int fd = ConnectFrom(server.listener.Port(), "");
  ASSERT_GE(fd, 0);
  ASSERT_EQ(send(fd, "GET / HTTP/1.1\r\n\r\n", 18, MSG_NOSIGNAL), 18);
  for (int i = 0; i < 250 && (server.listener.Counts().served < 1 || refused < 2); ++i) SleepMs(20);
  EXPECT_EQ(server.listener.Counts().served, 1);
  EXPECT_GE(refused, 2) << "the start at Start() and the one for the request";
  EXPECT_EQ(server.listener.Counts().workerStartsFailed, refused.load());
  // Taken whole, waiting for a worker: nothing came back yet.
  pollfd p{fd, POLLIN, 0};
  EXPECT_EQ(poll(&p, 1, 0), 0);
  EXPECT_EQ(server.listener.Workers(), 0u);

  refuse = false;
  const std::string reply = ReadUntilClosed(fd, 10000);
  close(fd);
  EXPECT_EQ(reply.compare(0, 12, "HTTP/1.1 200"), 0) << reply;
  EXPECT_GE(server.listener.Workers(), 1u);
  EXPECT_EQ(HttpGet(server.listener.Port(), "/").status, 200);
}

}  // namespace
