// The web page that a browser window of another program shows, read through
// that browser's own document objects (COM, across processes). The audit
// client's CTID window embeds such a browser; its page tells whether the QR
// code on it still carries a valid ticket. Implemented over oleacc and the
// HTML document interfaces (page_reader_win.cpp) and by a fake in the tests.
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "platform/desktop.h"

struct PageRead {
  enum class Outcome {
    Read,        // every element was handed over, or the visitor stopped early
    NoDocument,  // the window answered, but offers no document
    Failed,      // no answer in time, no accessibility library, a COM error
  };
  Outcome outcome = Outcome::Failed;
  // Of a failure, for the log: a context number (0 when none), the system's
  // last error code and a message.
  long context = 0;
  unsigned long lastError = 0;
  std::string message;
};

class PageReader {
 public:
  virtual ~PageReader() = default;
  // Hands the inner HTML (GBK) of every element of the page shown in
  // `browserWindow` to `element`, in document order, until `element` returns
  // false. The request for the page waits at most `timeoutMs` and gives up
  // at once on a hung window.
  virtual PageRead ReadElements(Hwnd browserWindow, int timeoutMs,
                                const std::function<bool(const std::string& innerHtml)>& element) = 0;
};

// The COM reader; exists in the Windows tree only.
std::unique_ptr<PageReader> MakeWin32PageReader();
