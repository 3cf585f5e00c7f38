#include "fakes/udp_collector.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

UdpCollector::UdpCollector(std::uint16_t port) {
  fd_ = socket(AF_INET, SOCK_DGRAM, 0);
  if (fd_ < 0) throw std::runtime_error("UDP collector: no socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  socklen_t size = sizeof address;
  if (bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    close(fd_);
    throw std::runtime_error("UDP collector: cannot bind on loopback");
  }
  port_ = ntohs(address.sin_port);
}

UdpCollector::~UdpCollector() { close(fd_); }

std::optional<std::string> UdpCollector::Receive(int timeoutMs) {
  pollfd p{fd_, POLLIN, 0};
  if (poll(&p, 1, timeoutMs) <= 0) return std::nullopt;
  std::string datagram(65536, '\0');
  ssize_t n = recv(fd_, datagram.data(), datagram.size(), 0);
  if (n < 0) return std::nullopt;
  datagram.resize(static_cast<std::size_t>(n));
  return datagram;
}
