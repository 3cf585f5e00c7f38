#include "events.h"

namespace {

std::vector<Event> g_events;
unsigned long long g_nextSeq = 1;

}  // namespace

void RecordEvent(HWND hwnd, const char* kind, const std::string& detail) {
  g_events.push_back(Event{g_nextSeq++, hwnd, kind, detail});
}

const std::vector<Event>& RecordedEvents() { return g_events; }

void ClearEvents() { g_events.clear(); }
