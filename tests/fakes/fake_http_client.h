// Recording stand-in for the central service's HTTP exchange: every call is
// kept, and the test scripts the replies (queued ones first, then by URL, then
// the default, which is the empty text of a service that did not answer).
#pragma once
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/http_client.h"

class FakeHttpClient : public HttpClient {
 public:
  struct Call {
    std::string url;
    std::string body;
    int timeoutMs = 0;
  };

  std::vector<Call> calls;
  std::deque<std::string> queuedReplies;
  std::map<std::string, std::string> repliesByUrl;
  std::string defaultReply;
  // Every request ends as one whose service's certificate was refused: the
  // empty text, whatever is scripted.
  bool refusePeer = false;

  bool PeerRefused() const override { return refusePeer; }

  std::string HttpRequest(const std::string& url, const std::string& body, int timeoutMs) override {
    calls.push_back({url, body, timeoutMs});
    if (refusePeer) return {};
    if (!queuedReplies.empty()) {
      std::string reply = queuedReplies.front();
      queuedReplies.pop_front();
      return reply;
    }
    auto it = repliesByUrl.find(url);
    return it != repliesByUrl.end() ? it->second : defaultReply;
  }
};
