#include "fakes/fake_billing_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

std::string Header(const char magic[6], std::uint16_t cmd, std::int32_t dataLen) {
  std::string h(28, '\0');
  std::memcpy(h.data(), magic, 6);
  h[6] = static_cast<char>(cmd & 0xFF);
  h[7] = static_cast<char>(cmd >> 8);
  auto v = static_cast<std::uint32_t>(dataLen);
  for (int i = 0; i < 4; ++i) h[8 + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return h;
}

// Reads exactly `size` bytes unless the peer stops first; the count read.
std::size_t ReadFully(int fd, char* buffer, std::size_t size) {
  std::size_t got = 0;
  while (got < size) {
    ssize_t n = recv(fd, buffer + got, size - got, 0);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  return got;
}

void SendAll(int fd, const std::string& bytes) {
  send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

}  // namespace

std::string FakeBillingServer::Greeting() {
  return Header("XXLDKS", 165, 4) + "helo";
}

FakeBillingServer::FakeBillingServer(Reply reply, bool greet, std::string replyText,
                                     std::uint16_t port)
    : reply_(reply), greet_(greet), replyText_(std::move(replyText)) {
  listener_ = socket(AF_INET, SOCK_STREAM, 0);
  int yes = 1;
  setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof(a));
  socklen_t len = sizeof(a);
  getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
  port_ = ntohs(a.sin_port);
  // RefuseSession: an accept queue of one that is never served lets the probe
  // complete and leaves every later SYN unanswered, like a server that stops
  // taking connections right after the probe.
  listen(listener_, reply_ == Reply::RefuseSession ? 0 : 8);
  if (reply_ != Reply::RefuseSession) thread_ = std::thread([this] { Run(); });
}

FakeBillingServer::~FakeBillingServer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  close(listener_);
}

std::vector<FakeBillingServer::Request> FakeBillingServer::requests() {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void FakeBillingServer::Run() {
  while (!stop_) {
    pollfd p{listener_, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    int client = accept(listener_, nullptr, nullptr);
    if (client < 0) continue;
    ++connections_;
    Serve(client);
    close(client);
  }
}

void FakeBillingServer::Serve(int client) {
  timeval tv{0, 100 * 1000};
  setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
  if (greet_) SendAll(client, Greeting());

  // Wait for the request's header; a probe connection closes without one.
  char header[28];
  std::size_t got = 0;
  while (!stop_ && got < sizeof(header)) {
    ssize_t n = recv(client, header + got, sizeof(header) - got, 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) return;
    if (n > 0) got += static_cast<std::size_t>(n);
  }
  if (got < sizeof(header)) return;

  Request request;
  request.cmd = static_cast<std::uint16_t>(static_cast<unsigned char>(header[6]) |
                                           (static_cast<unsigned char>(header[7]) << 8));
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(header[8 + i]);
  request.dataLen = static_cast<std::int32_t>(v);
  std::memcpy(request.token.data(), header + 12, 16);
  request.bytes = got;
  if (request.dataLen > 0 && request.dataLen <= 32769) {
    std::string data(static_cast<std::size_t>(request.dataLen), '\0');
    request.bytes += ReadFully(client, data.data(), data.size());
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(request);
  }

  switch (reply_) {
    case Reply::Good:
      SendAll(client, Header("XXLDKS", 165, static_cast<std::int32_t>(replyText_.size())) +
                          replyText_);
      break;
    case Reply::WrongMagic:
      SendAll(client, Header("ABCDEF", 165, 5) + "hello");
      break;
    case Reply::DataLenZero:
      SendAll(client, Header("XXLDKS", 165, 0));
      break;
    case Reply::DataLenTooLarge:
      SendAll(client, Header("XXLDKS", 165, 100) + "0123456789");
      break;
    case Reply::DataLenAboveArea:
      SendAll(client, Header("XXLDKS", 165, 40000) + "0123456789");
      break;
    case Reply::ShortHeader:
      SendAll(client, "XXLDKS");
      break;
    case Reply::Close:
      shutdown(client, SHUT_RDWR);
      return;
    case Reply::Silent:
    case Reply::RefuseSession:
      break;
  }
  // Hold the connection until the client closes it (or the test ends).
  char sink[256];
  while (!stop_) {
    ssize_t n = recv(client, sink, sizeof(sink), 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) return;
  }
}
