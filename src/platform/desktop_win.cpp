// Other programs' windows, driven the way a cashier's hand would: found by
// class and caption, answered with sent messages and synthesized input.
#include <windows.h>

#include "platform/platform_win.h"

namespace {
HWND H(Hwnd window) { return reinterpret_cast<HWND>(window); }
Hwnd Handle(HWND window) { return reinterpret_cast<Hwnd>(window); }

// Every message sent to another program's window is abort-if-hung and given
// up after a second: a hung billing console or audit client must cost the
// watch cycle no more than that, never freeze the assistant.
constexpr UINT kOtherWindowTimeoutMs = 1000;

bool SendWithin(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT timeoutMs, DWORD_PTR& result) {
  return SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, timeoutMs, &result) != 0;
}
}  // namespace

Hwnd Win32Desktop::FindTopWindow(const char* className, const char* caption) {
  return Handle(FindWindowA(className, caption));
}

Hwnd Win32Desktop::FindChild(Hwnd parent, const char* className, const char* caption) {
  // FindWindowEx with a null parent searches the top-level windows; a child
  // of a window that was not found must be "not found", not a stranger.
  if (parent == 0) return 0;
  return Handle(FindWindowExA(H(parent), nullptr, className, caption));
}

std::string Win32Desktop::GetWindowTextOf(Hwnd window) {
  // WM_GETTEXT rather than GetWindowText: the latter does not ask a control
  // of another process for its text. A gone, silent or hung window leaves the
  // buffer empty; the result never exceeds the 1024-byte buffer.
  char buffer[1024] = {};
  DWORD_PTR length = 0;
  if (!SendWithin(H(window), WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer), kOtherWindowTimeoutMs,
                  length) ||
      length == 0) {
    return {};
  }
  if (length >= sizeof buffer) length = sizeof buffer - 1;
  return std::string(buffer, static_cast<std::size_t>(length));
}

void Win32Desktop::SetWindowTextOf(Hwnd window, const std::string& text) {
  SetWindowTextWithin(window, text, kOtherWindowTimeoutMs);
}

bool Win32Desktop::IsVisible(Hwnd window) { return IsWindowVisible(H(window)) != FALSE; }
bool Win32Desktop::IsEnabled(Hwnd window) { return IsWindowEnabled(H(window)) != FALSE; }

std::intptr_t Win32Desktop::ClickButton(Hwnd button) { return ClickButtonWithin(button, kOtherWindowTimeoutMs); }

void Win32Desktop::SendClose(Hwnd window) {
  DWORD_PTR ignored = 0;
  SendWithin(H(window), WM_CLOSE, 0, 0, kOtherWindowTimeoutMs, ignored);
}
void Win32Desktop::PostClose(Hwnd window) { PostMessageA(H(window), WM_CLOSE, 0, 0); }

void Win32Desktop::SelectComboItem(Hwnd comboBox, int index) {
  DWORD_PTR ignored = 0;
  SendWithin(H(comboBox), CB_SETCURSEL, static_cast<WPARAM>(index), 0, kOtherWindowTimeoutMs, ignored);
}

bool Win32Desktop::SetForeground(Hwnd window) { return SetForegroundWindow(H(window)) != FALSE; }

void Win32Desktop::PressKey(int virtualKey) {
  const auto key = static_cast<BYTE>(virtualKey);
  const auto scan = static_cast<BYTE>(MapVirtualKeyA(static_cast<UINT>(virtualKey), MAPVK_VK_TO_VSC));
  keybd_event(key, scan, 0, 0);
  keybd_event(key, scan, KEYEVENTF_KEYUP, 0);
}

// --- Extended-screen placement and the face-verification press ---------------

bool Win32Desktop::SetWindowPosition(Hwnd window, std::intptr_t insertAfter, int x, int y, int width,
                                     int height, unsigned flags) {
  // SetWindowPos on another program's window waits until that program has
  // handled the move; a hung one would hold the watch cycle for as long as it
  // hangs. Ask first, bounded: a window that does not answer is not moved now
  // (the caller tries again on a later cycle).
  DWORD_PTR ignored = 0;
  if (!SendMessageTimeoutA(H(window), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &ignored)) return false;
  // HWND_TOPMOST and HWND_NOTOPMOST are the handles -1 and -2.
  return SetWindowPos(H(window), reinterpret_cast<HWND>(insertAfter), x, y, width, height, flags) != FALSE;
}

ScreenSize Win32Desktop::PrimaryScreenSize() {
  return ScreenSize{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

std::int32_t Win32Desktop::WindowStyle(Hwnd window) {
  return static_cast<std::int32_t>(GetWindowLongA(H(window), GWL_STYLE));
}

bool Win32Desktop::ClientToScreenPoint(Hwnd window, int& x, int& y) {
  // ClientToScreen with no window would succeed on the desktop's own
  // coordinates; a button that was not found must give "no point".
  if (window == 0) return false;
  POINT point{x, y};
  if (!ClientToScreen(H(window), &point)) return false;
  x = point.x;
  y = point.y;
  return true;
}

bool Win32Desktop::SetCursorPosition(int x, int y) { return SetCursorPos(x, y) != FALSE; }

void Win32Desktop::MouseButton(unsigned event) { mouse_event(event, 0, 0, 0, 0); }

namespace {

// One red frame on `dc` around width x height pixels at left, top, with a pen
// as wide as a border plus one; the pen masks what is there (R2_MASKPEN), so
// the red shows on any light colour.
void DrawRedFrame(HDC dc, int left, int top, int width, int height) {
  HPEN pen = CreatePen(PS_INSIDEFRAME, GetSystemMetrics(SM_CXBORDER) + 1, RGB(255, 0, 0));
  if (!pen) return;
  const int saved = SaveDC(dc);
  SetROP2(dc, R2_MASKPEN);
  SelectObject(dc, pen);
  SelectObject(dc, GetStockObject(NULL_BRUSH));
  Rectangle(dc, left, top, left + width, top + height);
  RestoreDC(dc, saved);
  DeleteObject(pen);
}

}  // namespace

void Win32Desktop::DrawAlertFrame(Hwnd window) {
  // GetWindowDC of no window is the whole screen's context: a button that
  // went away in the meantime gets no frame instead of framing the screen.
  // (Under Wine a window of another process cannot be drawn on this way;
  // the frame then does not show.)
  HWND hwnd = H(window);
  if (window == 0 || !IsWindow(hwnd)) return;
  RECT rect{};
  if (!GetWindowRect(hwnd, &rect)) return;
  if (HDC dc = GetWindowDC(hwnd)) {
    DrawRedFrame(dc, 0, 0, rect.right - rect.left, rect.bottom - rect.top);
    ReleaseDC(hwnd, dc);
  }
}

// --- The CTID QR window ----------------------------------------------------------

// A hung audit client must not stall the watch cycle: abort-if-hung gives up
// at once on a window that has stopped answering for a while, the time-out on
// one that is merely slow.
bool Win32Desktop::SetWindowTextWithin(Hwnd window, const std::string& text, int timeoutMs) {
  DWORD_PTR ignored = 0;
  return SendWithin(H(window), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), static_cast<UINT>(timeoutMs),
                    ignored);
}

std::intptr_t Win32Desktop::ClickButtonWithin(Hwnd button, int timeoutMs) {
  DWORD_PTR result = 0;
  if (!SendWithin(H(button), BM_CLICK, 0, 0, static_cast<UINT>(timeoutMs), result)) return 0;
  return static_cast<std::intptr_t>(result);
}

ScreenSize Win32Desktop::WorkAreaSize() {
  RECT area = {};
  if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0)) {
    return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  }
  return {area.right - area.left, area.bottom - area.top};
}

void Win32Desktop::Beep(int frequencyHz, int milliseconds) {
  ::Beep(static_cast<DWORD>(frequencyHz), static_cast<DWORD>(milliseconds));
}

// --- Settings window ---------------------------------------------------------

bool Win32Desktop::WindowOrigin(Hwnd window, int& left, int& top) {
  // A minimised window stands off every screen (or in a corner of one): its
  // rectangle is no place to put the window again.
  RECT rect;
  if (window == 0 || IsIconic(H(window)) || !GetWindowRect(H(window), &rect)) return false;
  left = rect.left;
  top = rect.top;
  return true;
}

int Win32Desktop::MonitorCount() { return GetSystemMetrics(SM_CMONITORS); }
