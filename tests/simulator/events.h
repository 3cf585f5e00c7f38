// What the simulator's windows received, in arrival order, for the test to read:
// the test asserts on these instead of on the assistant's internals.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct Event {
  unsigned long long seq;
  HWND hwnd;
  std::string kind;    // settext, click, click-ignored, setcursel, close, keydown, ...
  std::string detail;  // GBK text or ASCII numbers
};

void RecordEvent(HWND hwnd, const char* kind, const std::string& detail = std::string());
const std::vector<Event>& RecordedEvents();
void ClearEvents();  // seq keeps counting, so a test never sees a number twice
