// One synchronous HTTP exchange with the central service, as the core needs it:
// URL, body and time-out in, reply text out. Implemented over WinHTTP
// (net/http_request_win.cpp) and by a recording fake in the tests.
#pragma once
#include <cstddef>
#include <memory>
#include <string>

class HttpClient {
 public:
  virtual ~HttpClient() = default;

  // POST of `body` when it is not empty, else GET, to `url` ("http://" or
  // "https://"). Connecting and sending wait at most `timeoutMs` milliseconds,
  // each wait for reply data at most three times that. Returns the reply body
  // (whatever the status) cut at its first zero byte and trimmed of blanks and
  // control characters at both ends, or the empty text when anything failed.
  // Never throws.
  virtual std::string HttpRequest(const std::string& url, const std::string& body,
                                  int timeoutMs) = 0;

  // True when the last HttpRequest of this client ended because the
  // service's certificate was refused (not the pinned key, or not trusted
  // for the host): nothing was sent and its empty reply is no service's.
  virtual bool PeerRefused() const { return false; }
};

// The WinHTTP client, checking an https service's certificate against the
// pin it was built with; exists in the Windows tree only.
std::unique_ptr<HttpClient> MakeServiceHttpClient();

// The reply text of a body as received: the bytes before the first zero byte,
// without the characters at or below the space at either end.
inline std::string ReplyText(const std::string& received) {
  std::size_t end = received.find('\0');
  if (end == std::string::npos) end = received.size();
  std::size_t begin = 0;
  while (begin < end && static_cast<unsigned char>(received[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(received[end - 1]) <= ' ') --end;
  return received.substr(begin, end - begin);
}
