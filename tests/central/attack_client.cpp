#include "central/attack_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "central/base/clock.h"
#include "central/service.h"
#include "central/service_client.h"

namespace {

// The start of a request whose head never ends: after it, one more byte of
// a header value at a time.
constexpr char kSlowStart[] = "GET /tollimer/data/blklist.txt HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Wait: ";
constexpr int kReconnectMs = 1000;
constexpr int kDripMs = 1000;

}  // namespace

ConnectionAttack::ConnectionAttack(int port, const std::string& from, int slowClients, int idleClients)
    : port_(port), from_(from), clients_(static_cast<std::size_t>(slowClients + idleClients)) {
  for (int i = 0; i < slowClients; ++i) clients_[static_cast<std::size_t>(i)].slow = true;
  thread_ = std::thread([this] { Run(); });
}

ConnectionAttack::~ConnectionAttack() { Stop(); }

void ConnectionAttack::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

void ConnectionAttack::Open(Client& c, std::int64_t nowMs) {
  c.fd = ConnectFrom(port_, from_, true);
  c.sent = 0;
  c.nextMs = nowMs + (c.fd >= 0 ? 0 : kReconnectMs);  // a slow client sends its start at once
  if (c.fd >= 0) ++connects_;
}

void ConnectionAttack::Drop(Client& c, std::int64_t nowMs) {
  close(c.fd);
  c.fd = -1;
  c.nextMs = nowMs + kReconnectMs;
  ++closedByServer_;
}

void ConnectionAttack::Run() {
  std::vector<pollfd> polled;
  std::vector<std::size_t> which;
  while (!stop_) {
    const std::int64_t now = SteadyMs();
    polled.clear();
    which.clear();
    for (std::size_t i = 0; i < clients_.size(); ++i) {
      Client& c = clients_[i];
      if (c.fd < 0 && now >= c.nextMs) Open(c, now);
      if (c.fd < 0) continue;
      if (c.slow && now >= c.nextMs) {
        // The start at once, then a byte a second. A connection still being
        // made takes it on the next round.
        const bool start = c.sent == 0;
        const char* data = start ? kSlowStart : "a";
        const std::size_t size = start ? sizeof kSlowStart - 1 : 1;
        const ssize_t n = send(c.fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
          c.sent += static_cast<std::size_t>(n);
          c.nextMs = now + kDripMs;
        } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != ENOTCONN) {
          Drop(c, now);
          continue;
        }
      }
      polled.push_back({c.fd, POLLIN | POLLRDHUP, 0});
      which.push_back(i);
    }
    if (poll(polled.data(), polled.size(), 100) <= 0) continue;
    const std::int64_t after = SteadyMs();
    for (std::size_t k = 0; k < polled.size(); ++k) {
      if (polled[k].revents == 0) continue;
      // Whatever the server sends (a refusal, a time-out) ends the
      // connection on its side: drop it and come back.
      Drop(clients_[which[k]], after);
    }
  }
  for (Client& c : clients_) {
    if (c.fd >= 0) close(c.fd);
  }
}
