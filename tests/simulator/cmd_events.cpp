// events, clear: what the simulator's windows received since the last clear.
#include "events.h"
#include "handlers.h"
#include "handles.h"
#include "reply.h"
#include "text.h"

std::string CmdEvents(const Request&) {
  std::string reply = Ok();
  for (const Event& e : RecordedEvents()) {
    reply += "\nev\t" + std::to_string(e.seq) + "\t" + HandleText(e.hwnd) + "\t" + e.kind + "\t" +
             EscapeField(AnsiToUtf8(e.detail));
  }
  return reply + "\nend";
}

std::string CmdClear(const Request&) {
  ClearEvents();
  return Ok();
}
