// HttpRequest over WinHTTP: one exchange with the central service, every
// handle opened and closed within the call, the service's certificate
// checked before anything is sent (net/service_request_win.h).
#include <algorithm>
#include <climits>
#include <string>

#include "net/service_request_win.h"
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

class WinHttpClient final : public HttpClient {
 public:
  std::string HttpRequest(const std::string& url, const std::string& body, int timeoutMs) override {
    refused_ = false;
    try {
      return Exchange(url, body, timeoutMs);
    } catch (...) {
      return {};
    }
  }

  bool PeerRefused() const override { return refused_; }

 private:
  std::string Exchange(const std::string& url, const std::string& body, int timeoutMs);

  bool refused_ = false;
};

std::string WinHttpClient::Exchange(const std::string& url, const std::string& body, int timeoutMs) {
  std::string host, path, query;
  SplitUrl(url, host, path, query);
  const int waitMs = std::max(timeoutMs, 0);
  const int receiveMs = static_cast<int>(std::min<long long>(3LL * waitMs, INT_MAX));

  ServiceRequest request;
  if (!request.Open(url, "/" + path + "?" + query, body.empty() ? L"GET" : L"POST", waitMs, receiveMs)) {
    return {};
  }
  // Each header once with exactly this value: Host without the port (as
  // the service has always been asked), the assistant's own User-Agent.
  const std::wstring headers = L"Host: " + WideUrlText(host) +
                               L"\r\nUser-Agent: OrvAssistant\r\nAccept: text/*\r\nContent-Type: application/json\r\n";
  if (!request.Send(headers, body)) {
    refused_ = request.Refused();
    return {};
  }

  // The status is not looked at: the body of an error reply is returned like
  // any other. Only what has arrived is read (WinHttpQueryDataAvailable
  // waits, bounded by the receive time-out, for at least one byte), so the
  // reading deadline is checked between small reads and a reply trickling in
  // a byte at a time cannot hold one read past it. A reply cut off by the
  // deadline or by a failed read (a receive time-out included) gives the
  // empty text: a caller cannot tell a part of a reply from a whole one.
  std::string received;
  char chunk[kChunkBytes];
  const ULONGLONG readDeadline =
      GetTickCount64() + static_cast<ULONGLONG>(kReadTimeFactor) * static_cast<ULONGLONG>(waitMs);
  for (;;) {
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(request.get(), &available)) return {};
    if (available == 0) break;  // the whole reply has arrived
    DWORD got = 0;
    if (!WinHttpReadData(request.get(), chunk, std::min(available, kChunkBytes), &got)) return {};
    if (got == 0) break;
    if (received.size() + got > kMaxReplyBytes) return {};
    received.append(chunk, got);
    if (GetTickCount64() > readDeadline) return {};
  }
  return ReplyText(received);
}

}  // namespace

std::unique_ptr<HttpClient> MakeServiceHttpClient() {
  return std::make_unique<WinHttpClient>();
}
