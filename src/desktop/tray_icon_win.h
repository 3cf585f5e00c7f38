// TTrayIcon: the assistant's icon in the notification area, its only
// permanent presence while it works. A hidden window of its own receives the
// icon's messages: a left double-click calls OnDblClick, a press of the right
// button pops the menu up at the cursor. The icon is added again when the
// shell restarts (Explorer crashed or was restarted), so it never silently
// disappears.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

class TTrayIcon {
 public:
  // The callback message of the icon's record.
  static constexpr UINT kCallbackMessage = WM_USER + 123;
  static constexpr const char* kWindowClass = "TTrayIcon";

  // Creates the message window and adds the icon. Menu commands go to `owner`
  // as WM_COMMAND.
  TTrayIcon(HWND owner, HMENU popupMenu, HICON icon, const std::string& tip);
  ~TTrayIcon();
  TTrayIcon(const TTrayIcon&) = delete;
  TTrayIcon& operator=(const TTrayIcon&) = delete;

  HWND Wnd() const { return wnd_; }
  bool Added() const { return added_; }

  std::function<void()> OnDblClick;
  // Called before the menu opens, so its check marks show the current state.
  std::function<void()> OnPopup;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  NOTIFYICONDATAA Record() const;
  void Add();

  HWND owner_;
  HMENU popupMenu_;
  HICON icon_;
  std::string tip_;
  HWND wnd_ = nullptr;
  UINT taskbarCreated_ = 0;
  bool added_ = false;
};
