// The desktop's windows as the watcher sees them: found by class and caption,
// driven with window messages and synthesized input. Implemented over user32
// (desktop_win.cpp) and by a fake desktop in the tests.
#pragma once
#include <cstdint>
#include <string>

// An opaque window handle; 0 means "no window".
using Hwnd = std::uintptr_t;

// A window handle as the log shows it, for a "%d" conversion. Window handles
// are 32-bit values in 32- and 64-bit processes alike; passing Hwnd itself to
// "%d" would take two argument slots in a 32-bit build and shift every later
// value of the line.
inline int HandleNumber(Hwnd window) { return static_cast<int>(window); }

struct ScreenSize {
  int width = 0;
  int height = 0;
};

// SetWindowPos arguments as Windows numbers them.
inline constexpr std::intptr_t kInsertTopmost = -1;     // HWND_TOPMOST
inline constexpr std::intptr_t kInsertNotTopmost = -2;  // HWND_NOTOPMOST
inline constexpr unsigned kNoSizeNoActivate = 0x0001 | 0x0010;  // SWP_NOSIZE | SWP_NOACTIVATE
// mouse_event flags.
inline constexpr unsigned kMouseLeftDown = 0x0002;
inline constexpr unsigned kMouseLeftUp = 0x0004;

class Desktop {
 public:
  virtual ~Desktop() = default;

  // First top-level window with this class and caption; nullptr means any.
  virtual Hwnd FindTopWindow(const char* className, const char* caption) = 0;
  // First direct child of `parent` with this class and caption (nullptr: any).
  // 0 when parent is 0: a child search never falls back to top-level windows.
  virtual Hwnd FindChild(Hwnd parent, const char* className, const char* caption) = 0;

  // Every message below is sent abort-if-hung and given up after about a
  // second: a program that has stopped answering costs no more than that.
  // WM_GETTEXT into a 1024-byte buffer: at most 1023 bytes, empty when the
  // window does not answer.
  virtual std::string GetWindowTextOf(Hwnd window) = 0;
  // WM_SETTEXT, sent.
  virtual void SetWindowTextOf(Hwnd window, const std::string& text) = 0;
  virtual bool IsVisible(Hwnd window) = 0;
  virtual bool IsEnabled(Hwnd window) = 0;

  // BM_CLICK, sent; the message's result.
  virtual std::intptr_t ClickButton(Hwnd button) = 0;
  // WM_CLOSE, sent (waits for the window, bounded) or posted (does not).
  virtual void SendClose(Hwnd window) = 0;
  virtual void PostClose(Hwnd window) = 0;
  // CB_SETCURSEL with the given index, sent.
  virtual void SelectComboItem(Hwnd comboBox, int index) = 0;

  virtual bool SetForeground(Hwnd window) = 0;
  // One synthesized key press: key-down, then key-up, so the key is not left
  // logically held down for the programs that read the keyboard state.
  virtual void PressKey(int virtualKey) = 0;

  // Extended-screen placement and the face-verification press.
  // SetWindowPos; `insertAfter` is a window or one of kInsertTopmost and
  // kInsertNotTopmost; x, y in screen pixels. True when the call succeeded.
  virtual bool SetWindowPosition(Hwnd window, std::intptr_t insertAfter, int x, int y, int width,
                                 int height, unsigned flags) = 0;
  // Width and height of the primary screen in pixels.
  virtual ScreenSize PrimaryScreenSize() = 0;
  // GWL_STYLE; 0 for a window that is gone.
  virtual std::int32_t WindowStyle(Hwnd window) = 0;
  // A client point of `window` to screen pixels; false (and x, y unchanged)
  // when there is no such window.
  virtual bool ClientToScreenPoint(Hwnd window, int& x, int& y) = 0;
  virtual bool SetCursorPosition(int x, int y) = 0;
  // One synthesized mouse event (kMouseLeftDown or kMouseLeftUp) at the cursor.
  virtual void MouseButton(unsigned event) = 0;
  // A red frame drawn once on the window's own surface; the next repaint of
  // the window removes it.
  virtual void DrawAlertFrame(Hwnd window) = 0;
  // CTID QR window: bounded sends to an audit client that may hang, its
  // placement, the work area it returns to, and the refresh beeps.
  // WM_SETTEXT and BM_CLICK sent abort-if-hung and given up after
  // `timeoutMs`: a client that does not answer costs at most that much and
  // yields false / 0.
  virtual bool SetWindowTextWithin(Hwnd window, const std::string& text, int timeoutMs) = 0;
  virtual std::intptr_t ClickButtonWithin(Hwnd button, int timeoutMs) = 0;
  // The primary screen's work area (the screen less the taskbar).
  virtual ScreenSize WorkAreaSize() = 0;
  // A tone on the speaker; returns when it has played.
  virtual void Beep(int frequencyHz, int milliseconds) = 0;

  // Settings window: the position capture of a save, and the monitor count
  // its extended-screen check box shows.
  // The left and top of the window's outer rectangle in screen pixels;
  // false (and left, top unchanged) when the window is minimised or the
  // rectangle cannot be read.
  virtual bool WindowOrigin(Hwnd window, int& left, int& top) = 0;
  virtual int MonitorCount() = 0;

  // A move to (left, top) in screen pixels without resizing or activating,
  // into the topmost band or out of it; false when refused, and when the
  // window's program does not answer within a second (not moved). (Width 3
  // and height 4 are ignored.)
  bool PlaceWindow(Hwnd window, bool topmost, int left, int top) {
    return SetWindowPosition(window, topmost ? kInsertTopmost : kInsertNotTopmost, left, top, 3, 4,
                             kNoSizeNoActivate);
  }
};
