#include "central/http/request_head.h"

#include <cstdint>

#include "util/text.h"

namespace {

std::string_view TrimSpaces(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::string_view WithoutCr(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

RequestProgress Refused(int status) {
  RequestProgress p;
  p.state = RequestProgress::State::Refused;
  p.status = status;
  return p;
}

}  // namespace

RequestProgress RequestFraming::ReadHead(std::string_view head) {
  // The request line is the HTTP library's to judge; only the headers that
  // say where the request ends, and whether the client waits before its
  // body, matter here. Header names are compared whole (a space before the
  // colon makes another name, as it does for the library).
  bool haveLength = false;
  std::uint64_t length = 0;
  bool wantsContinue = false;
  std::size_t begin = head.find('\n') + 1;
  while (begin < head.size()) {
    const std::size_t end = head.find('\n', begin);
    const std::string_view line = WithoutCr(head.substr(begin, end - begin));
    begin = end + 1;
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string_view name = line.substr(0, colon);
    const std::string_view value = TrimSpaces(line.substr(colon + 1));
    if (SameTextAscii(name, "Transfer-Encoding")) return Refused(411);
    if (SameTextAscii(name, "Expect")) wantsContinue = SameTextAscii(value, "100-continue");
    if (!SameTextAscii(name, "Content-Length")) continue;
    if (value.empty()) return Refused(400);
    std::uint64_t n = 0;
    for (char c : value) {
      if (c < '0' || c > '9') return Refused(400);
      n = n * 10 + static_cast<std::uint64_t>(c - '0');
      if (n > limits_.maxBodyBytes) return Refused(413);
    }
    // Two lengths that disagree leave the end of the request in doubt.
    if (haveLength && n != length) return Refused(400);
    haveLength = true;
    length = n;
  }
  RequestProgress p;
  p.length = head.size() + static_cast<std::size_t>(length);
  p.wantsContinue = wantsContinue && length > 0;
  return p;
}

RequestProgress RequestFraming::Update(std::string_view received) {
  if (!headRead_) {
    for (; scanned_ < received.size(); ++scanned_) {
      if (received[scanned_] != '\n') continue;
      const bool emptyLine = WithoutCr(received.substr(lineStart_, scanned_ - lineStart_)).empty();
      if (!emptyLine) {
        lineStart_ = scanned_ + 1;
        continue;
      }
      // No request line: nothing to route.
      if (lineStart_ == 0) return Refused(400);
      const std::size_t headEnd = scanned_ + 1;
      if (headEnd > limits_.maxHeadBytes) return Refused(431);
      head_ = ReadHead(received.substr(0, headEnd));
      headRead_ = true;
      break;
    }
    if (!headRead_) {
      if (received.size() < limits_.maxHeadBytes) return RequestProgress();
      return Refused(lineStart_ == 0 ? 414 : 431);  // the request line alone, or the headers
    }
  }
  if (head_.state == RequestProgress::State::Refused) return head_;
  RequestProgress p = head_;
  if (received.size() >= head_.length) {
    p.state = RequestProgress::State::Complete;
    p.wantsContinue = false;
  }
  return p;
}

RequestProgress ExamineRequest(std::string_view received, const RequestLimits& limits) {
  RequestFraming framing(limits);
  return framing.Update(received);
}
