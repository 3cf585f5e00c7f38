// The page a simulated browser window ("Internet Explorer_Server") shows: a
// small document object of the simulator's own, handed to the asking process
// in answer to WM_HTML_GETOBJECT, as the audit client's embedded browser does.
// Its elements' inner HTML is what the assistant reads to tell a valid QR
// ticket from an expired one.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct PageOptions {
  std::vector<std::wstring> elements;  // flat elements, each's inner HTML
  int nested = 0;           // then this many elements nested in one another
  std::wstring leaf;        // the text at the bottom of the nesting
  bool answers = true;      // false: the window answers the request with 0 (no document)
  bool vanish = false;      // the window's top-level window is destroyed on the first element read
};

// Gives the window a page (replacing any earlier one).
void SetPage(HWND browser, const PageOptions& options);
// The window is gone: its page goes with it.
void ForgetPage(HWND browser);
// Inside the window procedure: true when `msg` is the page request to a window
// with a page, with the answer in `result`.
bool AnswerPageRequest(HWND hwnd, UINT msg, WPARAM wParam, LRESULT& result);
// How many element texts the window's page has handed out.
long PageReads(HWND browser);
