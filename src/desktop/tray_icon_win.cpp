#include "desktop/tray_icon_win.h"

#include "platform/member_window_proc_win.h"
#include "util/text.h"

#include <cstring>

TTrayIcon::TTrayIcon(HWND owner, HMENU popupMenu, HICON icon, const std::string& tip)
    : owner_(owner), popupMenu_(popupMenu), icon_(icon), tip_(tip) {
  taskbarCreated_ = RegisterWindowMessageA("TaskbarCreated");
  WNDCLASSA wc = {};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = kWindowClass;
  RegisterClassA(&wc);
  // A top-level window (not message-only): the shell's "TaskbarCreated"
  // broadcast reaches only top-level windows.
  wnd_ = CreateWindowExA(0, kWindowClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance,
                         this);
  Add();
}

TTrayIcon::~TTrayIcon() {
  NOTIFYICONDATAA record = Record();
  Shell_NotifyIconA(NIM_DELETE, &record);
  if (wnd_) DestroyWindow(wnd_);
}

NOTIFYICONDATAA TTrayIcon::Record() const {
  // The first version of the record: every shell since Windows 95 takes it.
  // Its size is 88 bytes in the 32-bit program (104 in the 64-bit one, whose
  // handles are wider).
  NOTIFYICONDATAA record = {};
  record.cbSize = NOTIFYICONDATAA_V1_SIZE;
  record.hWnd = wnd_;
  record.uID = 0;
  record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  record.uCallbackMessage = kCallbackMessage;
  record.hIcon = icon_;
  // The tip field holds 63 bytes and a NUL; a cut never splits a GBK
  // character, which would show as a stray byte.
  const std::size_t length = GbkCutLength(tip_, sizeof record.szTip - 1);
  std::memcpy(record.szTip, tip_.data(), length);
  return record;
}

void TTrayIcon::Add() {
  NOTIFYICONDATAA record = Record();
  added_ = Shell_NotifyIconA(NIM_ADD, &record) != FALSE;
}

LRESULT CALLBACK TTrayIcon::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return MemberWindowProc<TTrayIcon, &TTrayIcon::wnd_, &TTrayIcon::OnMessage>(hwnd, msg, wParam, lParam);
}

LRESULT TTrayIcon::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == taskbarCreated_ && taskbarCreated_ != 0) {
    Add();
    return 0;
  }
  if (msg == WM_COMMAND) {
    // A menu command: the main window carries it out.
    PostMessageA(owner_, WM_COMMAND, wParam, lParam);
    return 0;
  }
  if (msg == kCallbackMessage) {
    if (lParam == WM_LBUTTONDBLCLK) {
      if (OnDblClick) OnDblClick();
      return 0;
    }
    // The menu opens on the press of the right button, not on its release.
    if (lParam == WM_RBUTTONDOWN && wParam == 0) {
      if (popupMenu_) {
        if (OnPopup) OnPopup();
        POINT at = {};
        GetCursorPos(&at);
        // The menu runs a message loop of its own, in which the program may
        // end and this object go: nothing of it is read after the menu.
        const HWND window = wnd_;
        // Without the foreground, the menu would not close when the cashier
        // clicks elsewhere.
        SetForegroundWindow(window);
        TrackPopupMenu(popupMenu_, TPM_LEFTALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, window, nullptr);
        PostMessageA(window, WM_NULL, 0, 0);
      }
      return 0;
    }
  }
  return DefWindowProcA(wnd_, msg, wParam, lParam);
}
