#include "central/http/request_server.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <string_view>

#include "central/base/clock.h"

namespace {

constexpr std::size_t kWriteBuffer = 64 * 1024;

// A received request to read, and its connection to write the reply to. The
// reply is gathered and sent in pieces of up to kWriteBuffer bytes: the
// library writes a reply's head and body separately, and a small reply then
// leaves in one segment. The whole reply must be read by the client within
// the limits' time for its size, so a client that reads a download a byte
// now and then holds its worker for a bounded time.
class ReceivedStream : public httplib::Stream {
 public:
  ReceivedStream(const ReceivedRequest& request, const ListenerLimits& limits)
      : request_(request), msPerKiB_(1024.0 * 1000.0 / static_cast<double>(std::max<std::size_t>(1, limits.slowestReadBytesPerSecond))),
        deadlineMs_(SteadyMs() + limits.writeMs) {}

  bool is_readable() const override { return true; }
  bool is_writable() const override { return !failed_; }

  ssize_t read(char* ptr, size_t size) override {
    const std::size_t n = std::min(size, request_.bytes.size() - readAt_);
    std::memcpy(ptr, request_.bytes.data() + readAt_, n);
    readAt_ += n;
    return static_cast<ssize_t>(n);
  }

  ssize_t write(const char* ptr, size_t size) override {
    if (failed_) return -1;
    // The listener has answered an "Expect: 100-continue" already, before
    // the body came; the library, handed the whole request, would say it a
    // second time.
    static constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
    if (!wroteAny_ && std::string_view(ptr, size) == kContinue) return static_cast<ssize_t>(size);
    wroteAny_ = true;
    deadlineMs_ += static_cast<std::int64_t>(static_cast<double>(size) / 1024.0 * msPerKiB_);
    if (out_.size() + size > kWriteBuffer && !Flush()) return -1;
    if (size >= kWriteBuffer) {
      if (!SendBefore(request_.fd, ptr, size, deadlineMs_)) failed_ = true;
    } else {
      out_.append(ptr, size);
    }
    return failed_ ? -1 : static_cast<ssize_t>(size);
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    ip = request_.address;
    port = request_.port;
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    ip = request_.localAddress;
    port = request_.localPort;
  }
  socket_t socket() const override { return request_.fd; }

  bool Flush() {
    if (!failed_ && !out_.empty() && !SendBefore(request_.fd, out_.data(), out_.size(), deadlineMs_)) failed_ = true;
    out_.clear();
    return !failed_;
  }

 private:
  const ReceivedRequest& request_;
  const double msPerKiB_;
  std::int64_t deadlineMs_;
  std::size_t readAt_ = 0;
  std::string out_;
  bool failed_ = false;
  bool wroteAny_ = false;
};

}  // namespace

// The library streams a reply (a release download) only while its own
// listening socket is valid: an invalid one is its sign of a server shutting
// down. This server never listens itself, so it holds a placeholder
// descriptor there; the library closes that socket only in listen() and
// stop(), which are not used here.
RequestServer::RequestServer() { svr_sock_ = open("/dev/null", O_RDONLY | O_CLOEXEC); }

RequestServer::~RequestServer() {
  const int placeholder = svr_sock_.exchange(INVALID_SOCKET);
  if (placeholder != INVALID_SOCKET) close(placeholder);
}

void RequestServer::Serve(ReceivedRequest& request, const ListenerLimits& limits) {
  ReceivedStream stream(request, limits);
  bool closed = true;
  process_request(stream, true, closed, nullptr);
  stream.Flush();
}
