// The notification-area icon against the real menu: the program may end, and
// the icon object go, inside the menu's own message loop.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <vector>

#include "desktop/tray_icon_win.h"

namespace {

// A window that records every message it gets: the freed icon object is
// filled with its handle, so any handle read from the freed object after the
// menu (its window, its menu, its owner) leads here.
std::vector<UINT> g_tripwireMessages;
LRESULT CALLBACK TripwireProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NULL || msg == WM_COMMAND || msg == WM_APP) g_tripwireMessages.push_back(msg);
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

HWND MakeWindow(const char* cls, WNDPROC proc) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = cls;
  RegisterClassA(&wc);
  return CreateWindowExA(0, cls, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr);
}

// The icon lives in a buffer of its own, so the test can free it and poison
// the memory it held.
alignas(TTrayIcon) unsigned char g_iconMemory[sizeof(TTrayIcon)];
TTrayIcon* g_icon = nullptr;
HWND g_tripwire = nullptr;
bool g_freedInsideTheMenu = false;

bool MenuShown() {
  HWND menu = FindWindowA("#32768", nullptr);
  return menu && IsWindowVisible(menu);
}

// Ends the program's part inside the menu loop: the icon object is destroyed
// (its window with it) and its memory poisoned, then the menu is closed.
LRESULT CALLBACK EnderProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_APP && g_icon) {
    g_freedInsideTheMenu = MenuShown();
    g_icon->~TTrayIcon();
    g_icon = nullptr;
    for (std::size_t at = 0; at + sizeof(HWND) <= sizeof g_iconMemory; at += sizeof(HWND)) {
      std::memcpy(g_iconMemory + at, &g_tripwire, sizeof(HWND));
    }
    EndMenu();
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

TEST(TTrayIcon, NothingOfTheIconIsReadAfterItsMenuWhenItWentInsideIt) {
  g_tripwire = MakeWindow("TollimerTripwire", TripwireProc);
  HWND ender = MakeWindow("TollimerEnder", EnderProc);
  ASSERT_TRUE(g_tripwire && ender);
  HMENU menu = CreatePopupMenu();
  AppendMenuA(menu, MF_STRING, 101, "退出");

  g_icon = new (g_iconMemory) TTrayIcon(ender, menu, LoadIcon(nullptr, IDI_APPLICATION), "网吧Tollimer");
  HWND iconWindow = g_icon->Wnd();
  // The end comes as a posted message, as the close of the program does; the
  // menu's loop dispatches it.
  g_icon->OnPopup = [ender] { PostMessageA(ender, WM_APP, 0, 0); };
  SendMessageA(iconWindow, TTrayIcon::kCallbackMessage, 0, WM_RBUTTONDOWN);

  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  EXPECT_TRUE(g_freedInsideTheMenu) << "the menu did not open, so the test proves nothing";
  EXPECT_FALSE(IsWindow(iconWindow));
  EXPECT_TRUE(g_tripwireMessages.empty()) << "a handle was read from the freed icon";
  DestroyMenu(menu);
  DestroyWindow(ender);
  DestroyWindow(g_tripwire);
}

}  // namespace
