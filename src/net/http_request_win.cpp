// HttpRequest over WinInet: one exchange with the central service, every handle
// opened and closed within the call.
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <climits>
#include <string>

#include "net/url.h"
#include "platform/http_client.h"

namespace {

// A reply larger than this is not anything the central service sends (the
// blacklist is the largest, well under a megabyte); a service gone wrong that
// streams without end gets the empty text instead of the process's memory.
constexpr std::size_t kMaxReplyBytes = 16u << 20;
// Each wait for data is bounded by the receive time-out, but a reply that
// trickles in a byte at a time never trips it; the reading of the body is
// also cut off after this many times the caller's time-out (2 minutes for the
// usual 5000 ms): the whole call then lasts at most that plus one receive
// time-out past sending.
constexpr int kReadTimeFactor = 24;
constexpr DWORD kChunkBytes = 4097;

class InternetHandle {
 public:
  explicit InternetHandle(HINTERNET h) : h_(h) {}
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;
  ~InternetHandle() {
    if (h_) InternetCloseHandle(h_);
  }
  HINTERNET get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }

 private:
  HINTERNET h_;
};

void SetTimeout(HINTERNET h, DWORD option, DWORD milliseconds) {
  InternetSetOptionA(h, option, &milliseconds, sizeof milliseconds);
}

// Connect, send and data-send wait `timeoutMs`; receive and data-receive three
// times that. Set on every handle of the exchange: Wine ignores a receive
// time-out that is only set on the InternetOpen handle, and then a silent
// server would hold the cashier's window far longer than intended.
void SetTimeouts(HINTERNET h, DWORD timeoutMs, DWORD receiveMs) {
  SetTimeout(h, INTERNET_OPTION_CONNECT_TIMEOUT, timeoutMs);
  SetTimeout(h, INTERNET_OPTION_SEND_TIMEOUT, timeoutMs);
  SetTimeout(h, INTERNET_OPTION_DATA_SEND_TIMEOUT, timeoutMs);
  SetTimeout(h, INTERNET_OPTION_RECEIVE_TIMEOUT, receiveMs);
  SetTimeout(h, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, receiveMs);
}

bool StartsWithHttps(const std::string& url) {
  static constexpr char kScheme[] = "https://";
  if (url.size() < sizeof kScheme - 1) return false;
  for (std::size_t i = 0; i + 1 < sizeof kScheme; ++i) {
    char c = url[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kScheme[i]) return false;
  }
  return true;
}

std::string Exchange(const std::string& url, const std::string& body, int timeoutMs) {
  std::string host, path, query;
  int port = SplitUrl(url, host, path, query);
  const bool secure = StartsWithHttps(url);
  const char* method = body.empty() ? "GET" : "POST";
  const std::string target = "/" + path + "?" + query;

  DWORD flags = INTERNET_FLAG_RELOAD;
  if (secure) {
    flags |= INTERNET_FLAG_SECURE | INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_NO_COOKIES |
             INTERNET_FLAG_NO_AUTH | INTERNET_FLAG_NO_UI | INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP;
  }
  const DWORD waitMs = static_cast<DWORD>(std::max(timeoutMs, 0));
  const DWORD receiveMs = static_cast<DWORD>(std::min<long long>(3LL * waitMs, INT_MAX));

  InternetHandle root(InternetOpenA("Agent", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!root) return {};
  SetTimeouts(root.get(), waitMs, receiveMs);

  InternetHandle connection(InternetConnectA(root.get(), host.c_str(),
                                             static_cast<INTERNET_PORT>(port), nullptr, nullptr,
                                             INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection) return {};
  SetTimeouts(connection.get(), waitMs, receiveMs);

  InternetHandle request(HttpOpenRequestA(connection.get(), method, target.c_str(), "HTTP/1.1",
                                          nullptr, nullptr, flags, 0));
  if (!request) return {};
  SetTimeouts(request.get(), waitMs, receiveMs);
  if (secure) {
    // The service's certificate may be self-issued, used for another purpose
    // or name another host; the exchange goes ahead regardless.
    DWORD security = 0;
    DWORD size = sizeof security;
    InternetQueryOptionA(request.get(), INTERNET_OPTION_SECURITY_FLAGS, &security, &size);
    security |= SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_WRONG_USAGE |
                SECURITY_FLAG_IGNORE_CERT_CN_INVALID;
    InternetSetOptionA(request.get(), INTERNET_OPTION_SECURITY_FLAGS, &security, sizeof security);
  }

  // One header per call, replacing what WinInet would put there itself (its
  // own Host carries the port, its own User-Agent is the "Agent" name), so
  // each goes out once with exactly this value.
  const std::string headers[] = {"Host: " + host + "\r\n", "User-Agent: OrvAssistant\r\n",
                                 "Accept: text/*\r\n", "Content-Type: application/json\r\n"};
  for (const std::string& line : headers) {
    HttpAddRequestHeadersA(request.get(), line.c_str(), static_cast<DWORD>(line.size()),
                           HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE);
  }

  void* data = body.empty() ? nullptr : const_cast<char*>(body.data());
  if (!HttpSendRequestA(request.get(), nullptr, 0, data, static_cast<DWORD>(body.size()))) {
    return {};
  }

  // The status is not looked at: the body of an error reply is returned like
  // any other. Only what has arrived is read (InternetQueryDataAvailable
  // waits, bounded by the receive time-out, for at least one byte), so the
  // reading deadline is checked between small reads and a reply trickling in
  // a byte at a time cannot hold one read past it. A reply cut off by the
  // deadline or by a failed read (a receive time-out included) gives the
  // empty text: a caller cannot tell a part of a reply from a whole one.
  std::string received;
  char chunk[kChunkBytes];
  const ULONGLONG readDeadline =
      GetTickCount64() + static_cast<ULONGLONG>(kReadTimeFactor) * waitMs;
  for (;;) {
    DWORD available = 0;
    if (!InternetQueryDataAvailable(request.get(), &available, 0, 0)) return {};
    if (available == 0) break;  // the whole reply has arrived
    DWORD got = 0;
    if (!InternetReadFile(request.get(), chunk, std::min(available, kChunkBytes), &got)) return {};
    if (got == 0) break;
    if (received.size() + got > kMaxReplyBytes) return {};
    received.append(chunk, got);
    if (GetTickCount64() > readDeadline) return {};
  }
  return ReplyText(received);
}

class WinInetHttpClient final : public HttpClient {
 public:
  std::string HttpRequest(const std::string& url, const std::string& body, int timeoutMs) override {
    try {
      return Exchange(url, body, timeoutMs);
    } catch (...) {
      return {};
    }
  }
};

}  // namespace

std::unique_ptr<HttpClient> MakeWinInetHttpClient() {
  return std::make_unique<WinInetHttpClient>();
}
