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

  // CTID QR window. Recorded as "settext H TEXT", "click H",
  // "place H X,Y[,topmost]" and "beep HZ MS".
  bool SetWindowTextWithin(Hwnd window, const std::string& text, int timeoutMs) override;
  std::intptr_t ClickButtonWithin(Hwnd button, int timeoutMs) override;
  bool PlaceWindow(Hwnd window, bool topmost, int left, int top) override;
  ScreenSize WorkAreaSize() override { return workArea; }
  void Beep(int frequencyHz, int milliseconds) override;
  std::intptr_t clickAnswer = 0;  // what a click on an existing button returns
  bool refuseMoves = false;       // PlaceWindow fails, as for a window of a higher privilege
  ScreenSize workArea{1920, 1040};

 private:
  Hwnd Find(Hwnd parent, const char* className, const char* caption) const;
  void Record(const std::string& what, Hwnd window, const std::string& detail = "");

  std::map<Hwnd, Window> windows_;  // ordered by handle = creation order
  Hwnd next_ = 1;
};
