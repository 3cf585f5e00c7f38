// dialog, window, child: the windows the test wants the assistant to find.
#include <sstream>

#include "create.h"
#include "handlers.h"
#include "handles.h"
#include "reply.h"

namespace {

COLORREF ParseColour(const std::string& text) {
  if (text.size() != 6 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
    Fail("fill wants RRGGBB in hex: " + text);
  unsigned long rgb = std::stoul(text, nullptr, 16);
  return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

ClickAction ParseClickAction(const std::string& text) {
  if (text == "close") return ClickAction::Close;
  if (text == "disable") return ClickAction::Disable;
  if (text == "none") return ClickAction::None;
  Fail("onclick wants close, disable or none: " + text);
}

std::vector<std::string> SplitItems(const std::string& gbk) {
  std::vector<std::string> items;
  std::istringstream in(gbk);
  for (std::string item; std::getline(in, item, '|');) items.push_back(item);
  return items;
}

CreateOptions ReadOptions(const Request& r) {
  CreateOptions o;
  if (r.Has("hidden")) o.hidden = r.FlagOption("hidden");
  if (r.Has("x")) o.x = static_cast<int>(r.NumberOption("x"));
  if (r.Has("y")) o.y = static_cast<int>(r.NumberOption("y"));
  if (r.Has("w")) o.w = static_cast<int>(r.NumberOption("w"));
  if (r.Has("h")) o.h = static_cast<int>(r.NumberOption("h"));
  if (r.Has("fill")) {
    o.watch.hasFill = true;
    o.watch.fill = ParseColour(r.Option("fill"));
  }
  if (r.Has("moving")) o.watch.moving = r.FlagOption("moving");
  if (r.Has("onclick")) o.watch.onClick = ParseClickAction(r.Option("onclick"));
  if (r.Has("hangonsettext")) {
    const long long ms = r.NumberOption("hangonsettext");
    if (ms < 0 || ms > 60000) Fail("hangonsettext wants 0..60000 ms");
    o.watch.hangOnSetTextMs = static_cast<DWORD>(ms);
  }
  if (r.Has("items")) {
    // Items come as one UTF-8 field; convert it like any text field.
    Request items({r.Option("items")}, {});
    o.items = SplitItems(items.Text(0));
  }
  return o;
}

std::string Created(HWND hwnd, const std::string& reason) {
  if (!hwnd) Fail(reason);
  return Ok({HandleText(hwnd)});
}

}  // namespace

std::string CmdDialog(const Request& r) {
  std::string reason;
  return Created(CreateSimDialog(r.Text(0), ReadOptions(r), reason), reason);
}

std::string CmdWindow(const Request& r) {
  std::string reason;
  return Created(CreateSimWindow(r.Text(0), r.Text(1), ReadOptions(r), reason), reason);
}

std::string CmdChild(const Request& r) {
  std::string reason;
  return Created(CreateSimChild(r.OwnWindow(0), r.Text(1), r.Text(2), ReadOptions(r), reason), reason);
}
