// The desktop's windows as the watcher sees them: found by class and caption,
// driven with window messages and synthesized input. Implemented over user32
// (desktop_win.cpp) and by a fake desktop in the tests.
#pragma once
#include <cstdint>
#include <string>

// An opaque window handle; 0 means "no window".
using Hwnd = std::uintptr_t;

// A width and height in pixels.
struct ScreenSize {
  int width = 0;
  int height = 0;
};

class Desktop {
 public:
  virtual ~Desktop() = default;

  // First top-level window with this class and caption; nullptr means any.
  virtual Hwnd FindTopWindow(const char* className, const char* caption) = 0;
  // First direct child of `parent` with this class and caption (nullptr: any).
  // 0 when parent is 0: a child search never falls back to top-level windows.
  virtual Hwnd FindChild(Hwnd parent, const char* className, const char* caption) = 0;

  // WM_GETTEXT into a 1024-byte buffer: at most 1023 bytes, empty when the
  // window does not answer.
  virtual std::string GetWindowTextOf(Hwnd window) = 0;
  // WM_SETTEXT, sent.
  virtual void SetWindowTextOf(Hwnd window, const std::string& text) = 0;
  virtual bool IsVisible(Hwnd window) = 0;
  virtual bool IsEnabled(Hwnd window) = 0;

  // BM_CLICK, sent; the message's result.
  virtual std::intptr_t ClickButton(Hwnd button) = 0;
  // WM_CLOSE, sent (waits for the window) or posted (does not).
  virtual void SendClose(Hwnd window) = 0;
  virtual void PostClose(Hwnd window) = 0;
  // CB_SETCURSEL with the given index, sent.
  virtual void SelectComboItem(Hwnd comboBox, int index) = 0;

  virtual bool SetForeground(Hwnd window) = 0;
  // One synthesized key press: key-down, then key-up, so the key is not left
  // logically held down for the programs that read the keyboard state.
  virtual void PressKey(int virtualKey) = 0;

  // CTID QR window: bounded sends to an audit client that may hang, its
  // placement, the work area it returns to, and the refresh beeps.
  // WM_SETTEXT and BM_CLICK sent abort-if-hung and given up after
  // `timeoutMs`: a client that does not answer costs at most that much and
  // yields false / 0.
  virtual bool SetWindowTextWithin(Hwnd window, const std::string& text, int timeoutMs) = 0;
  virtual std::intptr_t ClickButtonWithin(Hwnd button, int timeoutMs) = 0;
  // SetWindowPos to (left, top) in screen pixels without resizing or
  // activating, into the topmost band or out of it; false when refused, and
  // when the window's program does not answer within a second (not moved).
  virtual bool PlaceWindow(Hwnd window, bool topmost, int left, int top) = 0;
  // The primary screen's work area (the screen less the taskbar).
  virtual ScreenSize WorkAreaSize() = 0;
  // A tone on the speaker; returns when it has played.
  virtual void Beep(int frequencyHz, int milliseconds) = 0;
};
