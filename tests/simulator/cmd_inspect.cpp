// Reading windows, the simulator's own and other programs' alike: what the
// assistant's windows look like is as much a test result as what ours received.
#include "handlers.h"
#include "handles.h"
#include "reply.h"
#include "text.h"

namespace {

std::string ClassName(HWND hwnd) {
  char name[256] = {};
  GetClassNameA(hwnd, name, sizeof(name));
  return name;
}

// An empty field means "any", as a null argument does for FindWindow.
const char* AnyIfEmpty(const std::string& text) { return text.empty() ? nullptr : text.c_str(); }

}  // namespace

std::string CmdText(const Request& r) { return Ok({AnsiToUtf8(ReadWindowText(r.Window(0)))}); }

std::string CmdClass(const Request& r) { return Ok({AnsiToUtf8(ClassName(r.Window(0)))}); }

std::string CmdExists(const Request& r) {
  HWND hwnd = nullptr;
  if (!ParseHandle(r.Raw(0), hwnd)) Fail("bad handle: " + r.Raw(0));
  return Ok({Bit(hwnd && IsWindow(hwnd))});
}

std::string CmdVisible(const Request& r) { return Ok({Bit(IsWindowVisible(r.Window(0)))}); }

std::string CmdEnabled(const Request& r) { return Ok({Bit(IsWindowEnabled(r.Window(0)))}); }

std::string CmdChecked(const Request& r) {
  return Ok({Bit(SendOrFail(r.Window(0), BM_GETCHECK, 0, 0) == BST_CHECKED)});
}

std::string CmdRect(const Request& r) {
  RECT rect{};
  GetWindowRect(r.Window(0), &rect);
  return Ok({std::to_string(rect.left), std::to_string(rect.top), std::to_string(rect.right),
             std::to_string(rect.bottom)});
}

std::string CmdCurSel(const Request& r) {
  return Ok({std::to_string(static_cast<int>(SendOrFail(r.Window(0), CB_GETCURSEL, 0, 0)))});
}

std::string CmdTopmost(const Request& r) {
  return Ok({Bit(GetWindowLongPtrA(r.Window(0), GWL_EXSTYLE) & WS_EX_TOPMOST)});
}

std::string CmdCursor(const Request&) {
  POINT pt{};
  GetCursorPos(&pt);
  return Ok({std::to_string(pt.x), std::to_string(pt.y)});
}

std::string CmdForeground(const Request&) { return Ok({HandleText(GetForegroundWindow())}); }

std::string CmdFind(const Request& r) {
  const std::string className = r.Text(0), caption = r.Text(1);
  return Ok({HandleText(FindWindowA(AnyIfEmpty(className), AnyIfEmpty(caption)))});
}

std::string CmdFindChild(const Request& r) {
  HWND parent = r.WindowOrDesktop(0);
  const std::string className = r.Text(1), caption = r.Text(2);
  return Ok({HandleText(FindWindowExA(parent, nullptr, AnyIfEmpty(className), AnyIfEmpty(caption)))});
}

// Direct children only, in z-order, as FindWindowEx walks them.
std::string CmdChildren(const Request& r) {
  std::string reply = Ok();
  for (HWND c = GetWindow(r.Window(0), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    reply += "\nchild\t" + HandleText(c) + "\t" + EscapeField(AnsiToUtf8(ClassName(c))) + "\t" +
             EscapeField(AnsiToUtf8(ReadWindowText(c)));
  }
  return reply + "\nend";
}
