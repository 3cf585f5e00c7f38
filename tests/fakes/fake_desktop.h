// A scripted desktop for watcher tests: windows with small integer handles,
// classes, captions, children, visibility; every action is recorded as a line
// such as "close 3" or "settext 2 会员激活 ( 15 秒后关闭)".
#pragma once
#include <map>
#include <string>
#include <vector>

#include "platform/desktop.h"

class FakeDesktop : public Desktop {
 public:
  struct Window {
    std::string className;
    std::string caption;
    Hwnd parent = 0;
    bool visible = true;
    bool enabled = true;
    bool closesOnClose = true;  // WM_CLOSE destroys it, as dialogs do
    // Extended-screen placement and the face-verification press.
    std::int32_t style = 0x50010000;  // WS_CHILD | WS_VISIBLE | WS_TABSTOP
    int clientLeft = 0, clientTop = 0;  // screen pixels of the client area's origin
    bool refusesMove = false;           // SetWindowPos fails on it
    // Settings window: the outer rectangle's origin (screen pixels), which
    // a move sets, and a window whose rectangle cannot be read.
    int left = 0, top = 0;
    bool rectUnreadable = false;
  };

  // Adds a window (parent 0: top level) and returns its handle (1, 2, ...).
  Hwnd Add(const std::string& className, const std::string& caption, Hwnd parent = 0);
  Window& Get(Hwnd handle) { return windows_.at(handle); }
  bool Exists(Hwnd handle) const { return windows_.count(handle) != 0; }
  void Remove(Hwnd handle);

  std::vector<std::string> actions;  // what the watcher did, in order
  int topLevelSearches = 0;

  Hwnd FindTopWindow(const char* className, const char* caption) override;
  Hwnd FindChild(Hwnd parent, const char* className, const char* caption) override;
  std::string GetWindowTextOf(Hwnd window) override;
  void SetWindowTextOf(Hwnd window, const std::string& text) override;
  bool IsVisible(Hwnd window) override;
  bool IsEnabled(Hwnd window) override;
  std::intptr_t ClickButton(Hwnd button) override;
  void SendClose(Hwnd window) override;
  void PostClose(Hwnd window) override;
  void SelectComboItem(Hwnd comboBox, int index) override;
  bool SetForeground(Hwnd window) override;
  void PressKey(int virtualKey) override;

  // Extended-screen placement and the face-verification press. Recorded as
  // "setpos 3 -2 514,258 3x4 17", "cursor 135,105", "mouse 2", "frame 4".
  ScreenSize screen{1920, 1080};
  bool SetWindowPosition(Hwnd window, std::intptr_t insertAfter, int x, int y, int width, int height,
                         unsigned flags) override;
  ScreenSize PrimaryScreenSize() override { return screen; }
  std::int32_t WindowStyle(Hwnd window) override;
  bool ClientToScreenPoint(Hwnd window, int& x, int& y) override;
  bool SetCursorPosition(int x, int y) override;
  void MouseButton(unsigned event) override;
  void DrawAlertFrame(Hwnd window) override;
  // CTID QR window. Recorded as "settext H TEXT", "click H" and
  // "beep HZ MS"; its moves as "setpos" above.
  bool SetWindowTextWithin(Hwnd window, const std::string& text, int timeoutMs) override;
  std::intptr_t ClickButtonWithin(Hwnd button, int timeoutMs) override;
  ScreenSize WorkAreaSize() override { return workArea; }
  void Beep(int frequencyHz, int milliseconds) override;
  std::intptr_t clickAnswer = 0;  // what a click on an existing button returns
  bool refuseMoves = false;       // every move fails, as for windows of a higher privilege
  ScreenSize workArea{1920, 1040};
  // Settings window.
  bool WindowOrigin(Hwnd window, int& left, int& top) override;
  int MonitorCount() override { return monitors; }
  int monitors = 1;

 private:
  Hwnd Find(Hwnd parent, const char* className, const char* caption) const;
  void Record(const std::string& what, Hwnd window, const std::string& detail = "");

  std::map<Hwnd, Window> windows_;  // ordered by handle = creation order
  Hwnd next_ = 1;
};
