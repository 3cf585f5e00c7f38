#include "net/download.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "net/download_transfer.h"
#include "net/socket.h"
#include "net/target_file.h"
#include "net/url.h"
#include "util/text.h"

namespace {

// Receive size: 64 KiB halves the processor time of a download against 4 KiB
// reads (a 200 MB loopback transfer, measured by tests/bench/download_bench).
constexpr std::size_t kChunkBytes = 64 * 1024;
// A header that has not ended after this many bytes is not a reply of an HTTP
// server; reading it further would only let a broken service fill memory.
constexpr std::size_t kMaxHeaderBytes = 16 * 1024;

// Winsock start-up for the duration of one download, balanced by its clean-up.
class SocketsSession {
 public:
  SocketsSession() : ok_(Socket::Startup() == 0) {}
  SocketsSession(const SocketsSession&) = delete;
  SocketsSession& operator=(const SocketsSession&) = delete;
  ~SocketsSession() {
    if (ok_) Socket::Cleanup();
  }
  bool ok() const { return ok_; }

 private:
  bool ok_;
};

// The connection is reset rather than shut down when the call ends, on every
// path: the server learns at once that nothing more is read.
class AbortOnExit {
 public:
  explicit AbortOnExit(Socket& socket) : socket_(socket) {}
  AbortOnExit(const AbortOnExit&) = delete;
  AbortOnExit& operator=(const AbortOnExit&) = delete;
  ~AbortOnExit() {
    if (socket_.IsValid()) socket_.CloseAbortive();
  }

 private:
  Socket& socket_;
};

std::string BuildRequest(const std::string& host, const std::string& path, long long offset) {
  std::string request = "GET /" + UrlEncode(path, true) + " HTTP/1.1\r\n";
  request += "Accept: */*\r\n";
  request += "Pragma: no-cache\r\n";
  request += "Host: " + host + "\r\n";
  if (offset > 0) request += "RANGE: bytes=" + std::to_string(offset) + "-\r\n";
  request += "User-Agent:FlowKite\r\n";
  request += "Connection: Close\r\n";
  request += "Cache-Control: no-cache\r\n";
  request += "\r\n";
  return request;
}

bool SendAll(Socket& socket, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    int n = socket.Send(bytes.data() + sent, bytes.size() - sent);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

// "HTTP/1.x 200 " or "HTTP/1.x 206 ": the status test looks at bytes 8 to 12.
bool IsAcceptedStatus(std::string_view head) {
  return head.size() >= 13 && head[8] == ' ' && head[9] == '2' && head[10] == '0' &&
         (head[11] == '0' || head[11] == '6') && head[12] == ' ';
}

// The value of the first header field named `name` (without regard to case),
// trimmed of blanks; nothing when the header has no such field.
std::optional<std::string_view> FieldValue(std::string_view head, std::string_view name) {
  std::size_t pos = head.find("\r\n");
  while (pos != std::string_view::npos && pos + 2 < head.size()) {
    std::size_t begin = pos + 2;
    std::size_t end = head.find("\r\n", begin);
    std::string_view line = head.substr(begin, end == std::string_view::npos ? end : end - begin);
    std::size_t colon = line.find(':');
    if (colon != std::string_view::npos && SameTextAscii(line.substr(0, colon), name)) {
      std::string_view value = line.substr(colon + 1);
      while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
        value.remove_prefix(1);
      while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
        value.remove_suffix(1);
      return value;
    }
    pos = end;
  }
  return std::nullopt;
}

std::optional<long long> LeadingNumber(std::string_view text) {
  if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
  long long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    if (value > (1LL << 50)) return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

// The plain-http transport: a request of its own on a TCP socket, the head
// gathered and judged here.
class SocketTransport final : public DownloadTransport {
 public:
  SocketTransport(Socket& socket, const std::string& url, const DownloadOptions& options)
      : socket_(socket), options_(options), buffer_(kChunkBytes) {
    port_ = SplitUrl(url, host_, path_, query_);
    if (port_ == 0) port_ = 80;  // a URL without a scheme still means plain HTTP
  }

  int Connect() override {
    if (socket_.SetReceiveTimeout(options_.socketTimeoutMs) != 0) return kDownloadReceiveTimeoutSet;
    if (socket_.SetSendTimeout(options_.socketTimeoutMs) != 0) return kDownloadSendTimeoutOrHost;
    // A host that does not resolve fails before any file is touched.
    std::string address;
    if (!ResolveIpv4(host_, &address)) return kDownloadSendTimeoutOrHost;
    if (port_ > 65535 ||
        socket_.ConnectWithin(address, static_cast<std::uint16_t>(port_), options_.socketTimeoutMs) != 0) {
      return kDownloadConnectFailed;
    }
    return 0;
  }

  int Request(long long offset, TransferLimits& limits, DownloadReplyHead* reply) override {
    if (!SendAll(socket_, BuildRequest(host_, path_, offset))) return kDownloadBrokenReply;
    // The header may arrive in pieces of any size: gather it up to its empty
    // line before judging the status or writing a byte.
    std::string& received = pending_;
    char* const chunk = buffer_.data();
    std::size_t headEnd = std::string::npos;
    while (headEnd == std::string::npos) {
      int n = socket_.Receive(chunk, kChunkBytes);
      if (n < 0) return kDownloadBrokenReply;
      if (n == 0) return kDownloadBadReply;  // closed before the header ended
      std::size_t searchFrom = received.size() >= 3 ? received.size() - 3 : 0;
      received.append(chunk, static_cast<std::size_t>(n));
      headEnd = received.find("\r\n\r\n", searchFrom);
      if (headEnd == std::string::npos && received.size() > kMaxHeaderBytes) return kDownloadBadReply;
      if (headEnd == std::string::npos) {
        if (int failure = limits.Check(static_cast<long long>(received.size()))) return failure;
      }
    }
    const std::string_view head = std::string_view(received).substr(0, headEnd + 2);
    if (!IsAcceptedStatus(head)) return kDownloadBadReply;
    // A chunked body would be written with its chunk framing into the file.
    auto coding = FieldValue(head, "Transfer-Encoding");
    if (coding && !SameTextAscii(*coding, "identity")) return kDownloadBadReply;
    reply->partial = head[11] == '6';
    if (auto range = FieldValue(head, "Content-Range")) {
      std::string_view rangeText = *range;
      if (rangeText.substr(0, 6) == "bytes ") rangeText.remove_prefix(6);
      // One that names no first byte is a range that starts nowhere.
      reply->rangeStart = LeadingNumber(rangeText).value_or(-1);
    }
    if (auto field = FieldValue(head, "Content-Length")) reply->length = LeadingNumber(*field);
    reply->headBytes = static_cast<long long>(headEnd + 4);
    // What came behind the head is the body's start.
    received.erase(0, headEnd + 4);
    return 0;
  }

  int Receive(char* data, std::size_t size) override {
    if (!pending_.empty()) {
      const std::size_t n = std::min(size, pending_.size());
      pending_.copy(data, n);
      pending_.erase(0, n);
      return static_cast<int>(n);
    }
    const int n = socket_.Receive(data, size);
    return n < 0 ? kDownloadBrokenReply : n;
  }

 private:
  Socket& socket_;
  const DownloadOptions& options_;
  std::vector<char> buffer_;
  std::string host_, path_, query_;
  int port_ = 0;
  std::string pending_;
};

}  // namespace

int DownloadFile(const std::string& url, const std::string& destinationPath, bool overwrite,
                 const DownloadOptions& options) {
  try {
    SocketsSession sockets;
    if (!sockets.ok()) return kDownloadNoSocket;
    Socket socket = Socket::Tcp();
    if (!socket.IsValid()) return kDownloadNoSocket;
    AbortOnExit abortOnExit(socket);
    SocketTransport transport(socket, url, options);
    return RunDownload(transport, url, destinationPath, overwrite, options);
  } catch (...) {
    return kDownloadFileFailed;  // only memory can run out here
  }
}

TransferLimits::TransferLimits(const DownloadOptions& options)
    : bytes_(options.lowSpeedBytes), window_(std::chrono::milliseconds(options.lowSpeedWindowMs)),
      start_(std::chrono::steady_clock::now()),
      deadline_(start_ + std::chrono::milliseconds(options.overallLimitMs)), windowStart_(start_),
      stop_(options.stop) {}

int TransferLimits::Check(long long received) {
  if (stop_ && stop_->load()) return kDownloadStopped;
  const SteadyTime now = std::chrono::steady_clock::now();
  if (now >= deadline_) return kDownloadTooLong;
  if (now - windowStart_ < window_) return 0;
  if (received - receivedAtStart_ < bytes_) return kDownloadTooSlow;
  windowStart_ = now;
  receivedAtStart_ = received;
  return 0;
}

// The destination of a download without one: the program folder and the
// URL's path. False when that path could leave the folder or names no file.
bool DestinationInFolder(const std::string& folder, const std::string& urlPath, std::string* out) {
  const std::string relative = ReplaceAll(urlPath, "/", "\\", true);
  if (relative.empty() || relative.find("..") != std::string::npos ||
      relative.find(':') != std::string::npos) {
    return false;
  }
  // Every part between separators must have a name: no leading separator, no
  // two in a row, none at the end.
  std::size_t partStart = 0;
  for (std::size_t separator : SeparatorPositions(relative)) {
    if (separator == partStart) return false;
    partStart = separator + 1;
  }
  if (partStart == relative.size()) return false;
  *out = folder + relative;
  return true;
}

int RunDownload(DownloadTransport& transport, const std::string& url, const std::string& destinationPath,
                bool overwrite, const DownloadOptions& options) {
  std::string host, path, query;
  SplitUrl(url, host, path, query);
  std::string destination = destinationPath;
  if (destination.empty() && !DestinationInFolder(options.programFolder, path, &destination)) {
    return kDownloadFileFailed;
  }
  if (int failure = transport.Connect()) return failure;

  std::unique_ptr<TargetFile> file;
  long long offset = 0;
  if (overwrite || !TargetFileExists(destination)) {
    file = CreateTargetFile(destination);
  } else {
    file = OpenTargetFileAtEnd(destination, &offset);
  }
  if (!file) return kDownloadFileFailed;
  TransferLimits limits(options);

  DownloadReplyHead head;
  if (int failure = transport.Request(offset, limits, &head)) return failure;
  // A range that starts elsewhere than the end of the file would be appended
  // at the wrong place.
  if (head.partial && offset > 0 && head.rangeStart && *head.rangeStart != offset) return kDownloadBadReply;
  if (!head.partial && offset > 0) {
    // The server ignored the range and sends the whole resource: appending it
    // would corrupt the file, so the file starts over.
    file.reset();
    file = CreateTargetFile(destination);
    if (!file) return kDownloadFileFailed;
  }

  const std::optional<long long> length = head.length;
  const long long maxBytes = std::min<long long>(options.maxBodyBytes, 0x7FFFFFFF);
  if (length && *length > maxBytes) return kDownloadTooLarge;

  // Writes what has arrived, never past an announced length (a server that
  // keeps the connection open after the body is then not waited for).
  long long written = 0;
  long long bodyReceived = 0;  // the low-speed limit counts what arrived, written or not
  std::vector<char> buffer(kChunkBytes);
  while (!length || written < *length) {
    int n = transport.Receive(buffer.data(), buffer.size());
    if (n < 0) return n;
    if (n == 0) {
      if (length) return kDownloadBrokenReply;  // closed before the announced end
      break;
    }
    std::size_t size = static_cast<std::size_t>(n);
    if (length) size = static_cast<std::size_t>(std::min<long long>(size, *length - written));
    if (written + static_cast<long long>(size) > maxBytes) return kDownloadTooLarge;
    if (size > 0 && !file->Write(buffer.data(), size)) return kDownloadFileFailed;
    written += static_cast<long long>(size);
    bodyReceived += n;
    if (int failure = limits.Check(head.headBytes + bodyReceived)) return failure;
  }

  if (!file->Close()) return kDownloadFileFailed;
  return static_cast<int>(written);
}
