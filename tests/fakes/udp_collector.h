// A loopback stand-in for the collector of notices: a UDP socket on 127.0.0.1
// (a port of its own choice, or a given one) that hands each datagram to the test as it came.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

class UdpCollector {
 public:
  // Binds 127.0.0.1:port; 0 lets the system choose. Throws when it cannot.
  explicit UdpCollector(std::uint16_t port = 0);
  ~UdpCollector();
  UdpCollector(const UdpCollector&) = delete;
  UdpCollector& operator=(const UdpCollector&) = delete;

  std::uint16_t Port() const { return port_; }
  // The next datagram's bytes, or nothing when none arrives within `timeoutMs`.
  std::optional<std::string> Receive(int timeoutMs);

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
};
