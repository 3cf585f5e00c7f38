// A loopback HTTP server for native tests of the plain-socket downloader. It
// serves one connection at a time on 127.0.0.1 (a port of its own choice),
// records the request header each client sent, and answers with a scripted
// reply: pieces sent by separate sends (a header split over several chunks),
// a body streamed a number of times or without end, and an ending (close,
// connection reset, or a stall that keeps the connection open and silent).
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct FakeReply {
  enum class Ending { kClose, kReset, kStall };

  std::vector<std::string> pieces;  // each sent by its own send, in order
  int pieceGapMs = 20;              // pause between pieces, so each arrives alone
  std::string streamChunk;          // after the pieces, sent streamTimes times
  std::int64_t streamTimes = 0;     // -1: until the client goes away
  int streamGapMs = 0;              // pause between stream chunks
  Ending ending = Ending::kClose;
};

// "HTTP/1.1 <status>\r\n" + header lines + "\r\n" + body, as one piece.
FakeReply HttpReply(const std::string& status, const std::string& body,
                    const std::vector<std::string>& headers = {});

// What the server saw of one connection.
struct FakeExchange {
  std::string request;      // the bytes up to and including the empty line
  bool clientGone = false;  // the client closed or reset before sending a full header
};

class FakeHttpServer {
 public:
  FakeHttpServer();
  ~FakeHttpServer();
  FakeHttpServer(const FakeHttpServer&) = delete;
  FakeHttpServer& operator=(const FakeHttpServer&) = delete;

  std::uint16_t Port() const { return port_; }
  // "http://127.0.0.1:<port>" + pathAndQuery (which starts with "/").
  std::string Url(const std::string& pathAndQuery) const;

  // The reply for every following connection (until changed).
  void SetReply(const FakeReply& reply);

  // Waits until `count` connections have been served completely; false when
  // that did not happen within `timeoutMs`.
  bool WaitForExchanges(std::size_t count, int timeoutMs);
  std::vector<FakeExchange> Exchanges();

 private:
  void Serve();
  void Handle(int connection);

  int listener_ = -1;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable changed_;
  FakeReply reply_;
  std::vector<FakeExchange> exchanges_;
  std::thread thread_;
};

// The request line and the header lines of a recorded request, without their
// CR LF, the empty line left out.
std::vector<std::string> RequestLines(const std::string& request);
