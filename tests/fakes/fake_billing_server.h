// A billing server on 127.0.0.1 for the session tests: listens on an ephemeral
// port (or a given one), takes connections one after another on its own
// thread, optionally greets each, reads one request packet and answers the way
// the chosen behaviour says. Every request it reads is recorded.
#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class FakeBillingServer {
 public:
  enum class Reply {
    Good,              // "XXLDKS", DataLen = reply text size, the reply text
    Silent,            // reads the request, never answers
    WrongMagic,        // "ABCDEF" instead of "XXLDKS", otherwise well formed
    DataLenZero,       // a bare header with DataLen 0
    DataLenTooLarge,   // DataLen 100 with only 10 bytes of Data after it
    DataLenAboveArea,  // DataLen 40000, more than a packet can hold
    ShortHeader,       // the magic and nothing more (6 bytes)
    Close,             // reads the request, closes without answering
    RefuseSession,     // accepts the probe, then stops listening
  };

  struct Request {
    std::uint16_t cmd = 0;
    std::int32_t dataLen = 0;
    std::array<std::uint8_t, 16> token{};
    std::size_t bytes = 0;  // bytes read for this request
  };

  // port 0: an ephemeral port.
  explicit FakeBillingServer(Reply reply, bool greet = false, std::string replyText = "",
                             std::uint16_t port = 0);
  ~FakeBillingServer();
  FakeBillingServer(const FakeBillingServer&) = delete;
  FakeBillingServer& operator=(const FakeBillingServer&) = delete;

  std::uint16_t port() const { return port_; }
  std::vector<Request> requests();
  int connections() const { return connections_; }

  // The greeting packet each connection gets when `greet` is on: a header with
  // DataLen 4 and the Data "helo" (32 bytes).
  static std::string Greeting();

 private:
  void Run();
  void Serve(int client);

  Reply reply_;
  bool greet_;
  std::string replyText_;
  int listener_ = -1;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  std::mutex mutex_;
  std::vector<Request> requests_;
  std::thread thread_;
};
