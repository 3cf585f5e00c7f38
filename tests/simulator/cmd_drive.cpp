// Driving windows and input: the test's stand-in for the cashier, and the
// "other program" that sends our windows what the assistant would send.
#include <climits>

#include "handlers.h"
#include "reply.h"
#include "watch.h"

namespace {

std::string LastError(const char* call) { return std::string(call) + " failed: " + std::to_string(GetLastError()); }

int Coordinate(const Request& r, size_t i) {
  long long value = r.Number(i);
  if (value < INT_MIN || value > INT_MAX) Fail("coordinate out of range: " + r.Raw(i));
  return static_cast<int>(value);
}

}  // namespace

// Another program's window is shown asynchronously, so a hung owner cannot
// hold the simulator.
std::string CmdShow(const Request& r) {
  HWND hwnd = r.Window(0);
  const int how = r.Flag(1) ? SW_SHOW : SW_HIDE;
  if (IsWatched(hwnd))
    ShowWindow(hwnd, how);
  else
    ShowWindowAsync(hwnd, how);
  return Ok();
}

std::string CmdEnable(const Request& r) {
  EnableWindow(r.OwnWindow(0), r.Flag(1));
  return Ok();
}

std::string CmdSetText(const Request& r) {
  const std::string text = r.Text(1);
  SendOrFail(r.Window(0), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  return Ok();
}

std::string CmdDestroy(const Request& r) {
  if (!DestroyWindow(r.OwnWindow(0))) Fail(LastError("DestroyWindow"));
  return Ok();
}

// Screen coordinates for a top-level window, parent client ones for a child.
// With topmost=0|1 it also changes the z-order, the way the assistant puts a
// window on the customer's screen (HWND_TOPMOST, no size, no activation).
// With w= and h= it also resizes the window, as a camera preview whose
// picture size changes.
std::string CmdMove(const Request& r) {
  HWND hwnd = r.Window(0);
  UINT flags = SWP_NOSIZE | SWP_NOACTIVATE;
  int width = 0, height = 0;
  if (r.Has("w") || r.Has("h")) {
    if (!r.Has("w") || !r.Has("h")) Fail("resizing wants both w and h");
    width = static_cast<int>(r.NumberOption("w"));
    height = static_cast<int>(r.NumberOption("h"));
    flags &= ~SWP_NOSIZE;
  }
  HWND after = nullptr;
  if (r.Has("topmost"))
    after = r.FlagOption("topmost") ? HWND_TOPMOST : HWND_NOTOPMOST;
  else
    flags |= SWP_NOZORDER;
  if (!IsWatched(hwnd)) flags |= SWP_ASYNCWINDOWPOS;
  if (!SetWindowPos(hwnd, after, Coordinate(r, 1), Coordinate(r, 2), width, height, flags))
    Fail(LastError("SetWindowPos"));
  return Ok();
}

std::string CmdActivate(const Request& r) { return Ok({Bit(SetForegroundWindow(r.Window(0)))}); }

std::string CmdClick(const Request& r) {
  SendOrFail(r.Window(0), BM_CLICK, 0, 0);
  return Ok();
}

std::string CmdClose(const Request& r) {
  SendOrFail(r.Window(0), WM_CLOSE, 0, 0);
  return Ok();
}

std::string CmdSelect(const Request& r) {
  HWND hwnd = r.Window(0);
  const long long index = r.Number(1);
  return Ok({std::to_string(static_cast<int>(SendOrFail(hwnd, CB_SETCURSEL, static_cast<WPARAM>(index), 0)))});
}

namespace {

// Messages whose parameters are plain numbers. A system message that carries
// a pointer (WM_GETTEXT, say) would make the window, or the system copying
// the reply back, write to whatever address the test typed: the simulator
// would crash. Messages from WM_USER up are never marshalled as pointers.
bool TakesNumbersOnly(UINT msg) {
  static const UINT kNumberMessages[] = {
      WM_NULL, WM_ACTIVATE, WM_CLOSE, WM_QUERYENDSESSION, WM_ENDSESSION, WM_GETTEXTLENGTH, WM_SHOWWINDOW,
      WM_KEYDOWN, WM_KEYUP, WM_CHAR, WM_SYSKEYDOWN, WM_SYSKEYUP, WM_COMMAND, WM_SYSCOMMAND, WM_TIMER,
      WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN, WM_RBUTTONUP,
      WM_RBUTTONDBLCLK, WM_HOTKEY, BM_GETCHECK, BM_SETCHECK, BM_CLICK, CB_GETCURSEL, CB_SETCURSEL,
      CB_GETCOUNT, LB_GETCURSEL, LB_SETCURSEL, LB_GETCOUNT,
      // The blacklist panel's multi-selection list.
      LB_GETSELCOUNT, LB_GETSEL, LB_GETTOPINDEX};
  if (msg >= WM_USER) return true;
  for (UINT m : kNumberMessages)
    if (m == msg) return true;
  return false;
}

UINT MessageNumber(const Request& r, size_t i) {
  const long long msg = r.Number(i);
  if (msg < 0 || msg > UINT_MAX) Fail("bad message number: " + r.Raw(i));
  if (!TakesNumbersOnly(static_cast<UINT>(msg)))
    Fail("message " + r.Raw(i) + " may carry a pointer; use a command made for it");
  return static_cast<UINT>(msg);
}

}  // namespace

std::string CmdPost(const Request& r) {
  if (!PostMessageA(r.Window(0), MessageNumber(r, 1), static_cast<WPARAM>(r.Param(2)),
                    static_cast<LPARAM>(r.Param(3))))
    Fail(LastError("PostMessage"));
  return Ok();
}

// Numbers only: a pointer parameter would point into the simulator's memory,
// which another process cannot read.
std::string CmdSend(const Request& r) {
  const LRESULT result =
      SendOrFail(r.Window(0), MessageNumber(r, 1), static_cast<WPARAM>(r.Param(2)), static_cast<LPARAM>(r.Param(3)));
  return Ok({std::to_string(static_cast<long long>(result))});
}

// Goes to whichever window has the keyboard focus, as a real key press does.
std::string CmdSendKey(const Request& r) {
  const long long vk = r.Number(0);
  if (vk < 1 || vk > 254) Fail("virtual key out of range: " + r.Raw(0));
  const BYTE key = static_cast<BYTE>(vk);
  const BYTE scan = static_cast<BYTE>(MapVirtualKeyA(key, MAPVK_VK_TO_VSC));
  keybd_event(key, scan, 0, 0);
  keybd_event(key, scan, KEYEVENTF_KEYUP, 0);
  return Ok();
}

// A left click at a screen point, as the cashier's mouse would make it.
std::string CmdMouseClick(const Request& r) {
  if (!SetCursorPos(Coordinate(r, 0), Coordinate(r, 1))) Fail(LastError("SetCursorPos"));
  mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
  mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
  return Ok();
}
