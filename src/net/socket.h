// One small portable socket wrapper (Winsock on Windows, BSD sockets natively),
// so the billing-server session, the downloader and the notice datagram run in
// native tests against loopback servers. Blocking IPv4 sockets with receive and
// send time-outs; the socket is closed when the object goes away.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

class Socket {
 public:
  // Windows Sockets 2.0 start-up and clean-up (no-ops natively). Start-up
  // returns 0 or the error code.
  [[nodiscard]] static int Startup();
  static void Cleanup();

  static Socket Tcp();
  static Socket Udp();

  Socket() = default;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  Socket(Socket&& other) noexcept;
  Socket& operator=(Socket&& other) noexcept;
  ~Socket();

  bool IsValid() const;
  void Close();

  // Time-outs in milliseconds; 0 or error code.
  [[nodiscard]] int SetReceiveTimeout(int milliseconds);
  [[nodiscard]] int SetSendTimeout(int milliseconds);

  // Blocking connect to a dotted IPv4 address; 0 or the error code. A text
  // that is not a dotted IPv4 address fails without touching the network.
  [[nodiscard]] int Connect(const std::string& ipv4, std::uint16_t port);

  // Bytes sent or received; 0 from Receive means the peer closed; -1 on error
  // (then LastError() tells which, 10060 for a time-out as on Windows).
  [[nodiscard]] int Send(const void* data, std::size_t size);
  [[nodiscard]] int Receive(void* buffer, std::size_t size);
  [[nodiscard]] int SendTo(const void* data, std::size_t size, const std::string& ipv4,
                           std::uint16_t port);

  // The last socket error as a Windows Sockets code (WSAETIMEDOUT 10060,
  // WSAECONNREFUSED 10061, ...); natively errno is mapped to those codes.
  static int LastError();

 private:
  explicit Socket(std::intptr_t handle) : handle_(handle) {}
  std::intptr_t handle_ = -1;
};

// Parses dotted-decimal IPv4 text ("127.0.0.1"); false for anything else.
bool ParseIpv4(const std::string& text, std::uint32_t* addressNetworkOrder);
