// How much of an HTTP request has arrived. The service reads a whole request
// (head and body) before any worker sees it, so a client that sends slowly or
// not at all holds a connection slot until its deadline and nothing else.
// This decides, from the bytes received so far, whether the request is
// complete, still arriving, or refused, and with which status.
#pragma once
#include <cstddef>
#include <string_view>

struct RequestLimits {
  std::size_t maxHeadBytes = 16 * 1024;  // request line and headers
  std::size_t maxBodyBytes = 64 * 1024;
};

struct RequestProgress {
  enum class State {
    Incomplete,  // more bytes are needed
    Complete,    // the first `length` bytes are the whole request
    Refused,     // answer `status` and close
  };
  State state = State::Incomplete;
  std::size_t length = 0;  // Complete: head and body
  int status = 0;          // Refused: 400, 411, 413, 414 or 431
  // The head is in, its body is not, and it asks for "100 Continue" first.
  bool wantsContinue = false;
};

// Follows one connection's bytes as they arrive. Each byte is looked at once
// while the head arrives, and the head is read once, so a client that drips
// its request in tiny pieces costs no more than one that sends it at once.
//
// Lines end with LF (a CR before it is dropped); the head ends with an empty
// line; its Content-Length gives the body. A request that declares its body by
// Transfer-Encoding is refused (411): the assistants always send a length,
// and with one rule for where a request ends, the service and its HTTP
// library cannot read the same bytes two ways.
class RequestFraming {
 public:
  explicit RequestFraming(const RequestLimits& limits) : limits_(limits) {}

  // `received` is every byte of the connection so far (each call sees the
  // previous bytes again, with more after them).
  RequestProgress Update(std::string_view received);

 private:
  RequestProgress ReadHead(std::string_view head);

  RequestLimits limits_;
  std::size_t scanned_ = 0;    // bytes looked at for the head's end
  std::size_t lineStart_ = 0;  // where the current line of the head begins
  bool headRead_ = false;
  RequestProgress head_;       // what the head said, once read
};

// The whole of `received` at once (tests and fuzzing compare it with the
// piecewise reading).
RequestProgress ExamineRequest(std::string_view received, const RequestLimits& limits);
