#include "fakes/fake_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace {

// How long the server waits for a client's request header.
constexpr int kRequestWaitMs = 3000;

void Sleep(int milliseconds) {
  if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

bool SendAll(int fd, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

// True once the client has closed or reset its end (or after `stop`).
bool ClientGone(int fd) {
  pollfd p{fd, POLLIN, 0};
  if (poll(&p, 1, 0) <= 0) return false;
  char c;
  ssize_t n = recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
  return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
}

}  // namespace

FakeReply HttpReply(const std::string& status, const std::string& body,
                    const std::vector<std::string>& headers) {
  std::string text = "HTTP/1.1 " + status + "\r\n";
  for (const std::string& h : headers) text += h + "\r\n";
  text += "\r\n" + body;
  FakeReply reply;
  reply.pieces.push_back(text);
  return reply;
}

std::vector<std::string> RequestLines(const std::string& request) {
  std::vector<std::string> lines;
  std::size_t begin = 0;
  for (;;) {
    std::size_t end = request.find("\r\n", begin);
    if (end == std::string::npos || end == begin) break;
    lines.push_back(request.substr(begin, end - begin));
    begin = end + 2;
  }
  return lines;
}

FakeHttpServer::FakeHttpServer() {
  listener_ = socket(AF_INET, SOCK_STREAM, 0);
  if (listener_ < 0) throw std::runtime_error("fake HTTP server: no socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t size = sizeof address;
  if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener_, 8) != 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    close(listener_);
    throw std::runtime_error("fake HTTP server: cannot listen on loopback");
  }
  port_ = ntohs(address.sin_port);
  reply_ = HttpReply("404 Not Found", "");
  thread_ = std::thread([this] { Serve(); });
}

FakeHttpServer::~FakeHttpServer() {
  stop_ = true;
  thread_.join();
  close(listener_);
}

std::string FakeHttpServer::Url(const std::string& pathAndQuery) const {
  return "http://127.0.0.1:" + std::to_string(port_) + pathAndQuery;
}

void FakeHttpServer::SetReply(const FakeReply& reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  reply_ = reply;
}

bool FakeHttpServer::WaitForExchanges(std::size_t count, int timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return exchanges_.size() >= count; });
}

std::vector<FakeExchange> FakeHttpServer::Exchanges() {
  std::lock_guard<std::mutex> lock(mutex_);
  return exchanges_;
}

void FakeHttpServer::Serve() {
  while (!stop_) {
    pollfd p{listener_, POLLIN, 0};
    if (poll(&p, 1, 20) <= 0) continue;
    int connection = accept(listener_, nullptr, nullptr);
    if (connection < 0) continue;
    Handle(connection);
  }
}

void FakeHttpServer::Handle(int connection) {
  timeval wait{kRequestWaitMs / 1000, (kRequestWaitMs % 1000) * 1000};
  setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  int one = 1;
  setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

  FakeExchange exchange;
  bool complete = false;
  char buffer[4096];
  while (!complete) {
    ssize_t n = recv(connection, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      exchange.clientGone = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
      break;
    }
    exchange.request.append(buffer, static_cast<std::size_t>(n));
    std::size_t end = exchange.request.find("\r\n\r\n");
    if (end != std::string::npos) {
      exchange.request.resize(end + 4);
      complete = true;
    }
  }

  FakeReply reply;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    reply = reply_;
  }
  if (complete) {
    bool ok = true;
    for (std::size_t i = 0; ok && i < reply.pieces.size(); ++i) {
      if (i > 0) Sleep(reply.pieceGapMs);
      ok = SendAll(connection, reply.pieces[i]);
    }
    for (std::int64_t i = 0; ok && !stop_ && (reply.streamTimes < 0 || i < reply.streamTimes);
         ++i) {
      Sleep(reply.streamGapMs);
      ok = SendAll(connection, reply.streamChunk);
    }
    switch (reply.ending) {
      case FakeReply::Ending::kClose:
        break;
      case FakeReply::Ending::kReset: {
        linger option{1, 0};
        setsockopt(connection, SOL_SOCKET, SO_LINGER, &option, sizeof option);
        break;
      }
      case FakeReply::Ending::kStall:
        while (!stop_ && !ClientGone(connection)) Sleep(10);
        break;
    }
  }
  close(connection);

  std::lock_guard<std::mutex> lock(mutex_);
  exchanges_.push_back(exchange);
  changed_.notify_all();
}
