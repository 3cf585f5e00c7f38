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

  // Abortive close: lingering on with 0 seconds, so the peer sees a reset
  // rather than a graceful shutdown. True when the close call succeeded; the
  // object is invalid afterwards either way.
  bool CloseAbortive();

  // Time-outs in milliseconds; 0 or error code.
  [[nodiscard]] int SetReceiveTimeout(int milliseconds);
  [[nodiscard]] int SetSendTimeout(int milliseconds);

  // Switches the socket between blocking (the default) and non-blocking
  // operation; 0 or the error code.
  [[nodiscard]] int SetNonBlocking(bool on);

  // Connect to a dotted IPv4 address; 0 or the error code. A text that is not
  // a dotted IPv4 address fails with 10022 without touching the network. When
  // a send time-out is set, the connect gives up after that time (10060):
  // Winsock's blocking connect ignores SO_SNDTIMEO and would otherwise wait
  // out the system's SYN retries for a peer that never answers.
  [[nodiscard]] int Connect(const std::string& ipv4, std::uint16_t port);

  // Connect that waits at most `milliseconds` for the connection to complete;
  // 0, 10060 when the time ran out, or the error that ended the attempt (a
  // refused port ends at once with 10061 instead of waiting). The socket's
  // blocking mode is as before afterwards.
  [[nodiscard]] int ConnectWithin(const std::string& ipv4, std::uint16_t port, int milliseconds);

  // Bytes sent or received; 0 from Receive means the peer closed; -1 on error
  // (then LastError() tells which, 10060 for a time-out as on Windows).
  [[nodiscard]] int Send(const void* data, std::size_t size);
  [[nodiscard]] int Receive(void* buffer, std::size_t size);
  [[nodiscard]] int SendTo(const void* data, std::size_t size, const std::string& ipv4,
                           std::uint16_t port);

  // The last socket error as a Windows Sockets code (WSAETIMEDOUT 10060,
  // WSAECONNREFUSED 10061, ...); natively errno is mapped to those codes. It is
  // the error of the last failing call of this wrapper on this thread, so a
  // close in between does not overwrite it.
  static int LastError();

 private:
  explicit Socket(std::intptr_t handle) : handle_(handle) {}
  std::intptr_t handle_ = -1;
  int sendTimeoutMs_ = 0;     // 0: none set
  bool nonBlocking_ = false;  // Winsock cannot be asked, so it is remembered
};

// Parses dotted-decimal IPv4 text ("127.0.0.1"): four decimal parts of 1 to 3
// digits, each 0..255, nothing else; false for anything else (host names,
// "1.2.3", hex or octal forms, blanks).
bool ParseIpv4(const std::string& text, std::uint32_t* addressNetworkOrder);

// The dotted IPv4 text of a host: the text itself when it is already dotted,
// else the first IPv4 address the resolver gives for the name; false when
// there is none. Blocks for as long as the system resolver takes.
bool ResolveIpv4(const std::string& host, std::string* dotted);
