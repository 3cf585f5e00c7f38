#include "loopback_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

LoopbackPeer::LoopbackPeer(std::string greeting, std::function<bool(const std::string&)> requestComplete,
                           std::string reply)
    : greeting_(std::move(greeting)), reply_(std::move(reply)),
      requestComplete_(std::move(requestComplete)) {
  listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener_, 1) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("loopback peer: no listening socket");
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

LoopbackPeer::~LoopbackPeer() {
  thread_.join();
  ::close(listener_);
}

void LoopbackPeer::Serve() {
  // Gives up after two seconds without a client, so a client that never
  // connects cannot hang the run.
  pollfd waiting{listener_, POLLIN, 0};
  if (::poll(&waiting, 1, 2000) != 1) return;
  int connection = ::accept(listener_, nullptr, nullptr);
  if (connection < 0) return;
  auto sendAll = [&](const std::string& bytes) {
    for (std::size_t sent = 0; sent < bytes.size();) {
      ssize_t n = ::send(connection, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return;
      sent += static_cast<std::size_t>(n);
    }
  };
  sendAll(greeting_);
  std::string request;
  char buffer[4096];
  while (!requestComplete_(request)) {
    pollfd readable{connection, POLLIN, 0};
    if (::poll(&readable, 1, 2000) != 1) break;
    ssize_t n = ::recv(connection, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    request.append(buffer, static_cast<std::size_t>(n));
  }
  sendAll(reply_);
  ::shutdown(connection, SHUT_WR);
  ::close(connection);
}
