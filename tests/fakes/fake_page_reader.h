// A page the test writes: element texts handed out in order, or a scripted
// outcome (no document, a failure). Counts what was read, and can run a step
// of the test's own in the middle of a read (a window closing, say).
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "platform/page_reader.h"

class FakePageReader : public PageReader {
 public:
  std::vector<std::string> elements;
  PageRead::Outcome outcome = PageRead::Outcome::Read;
  PageRead failure{PageRead::Outcome::Failed, 0, 1460, "WM_HTML_GETOBJECT not answered"};
  std::function<void()> duringRead;  // runs after the first element is handed out

  std::vector<Hwnd> asked;  // browser windows asked for their page
  int elementsRead = 0;

  PageRead ReadElements(Hwnd browserWindow, int, const std::function<bool(const std::string&)>& element) override {
    asked.push_back(browserWindow);
    if (outcome == PageRead::Outcome::Failed) return failure;
    if (outcome == PageRead::Outcome::NoDocument) return {PageRead::Outcome::NoDocument, 0, 0, {}};
    for (const std::string& text : elements) {
      ++elementsRead;
      const bool more = element(text);
      if (duringRead && elementsRead == 1) duringRead();
      if (!more) break;
    }
    return {PageRead::Outcome::Read, 0, 0, {}};
  }
};
