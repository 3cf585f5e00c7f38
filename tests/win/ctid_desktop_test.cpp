// The Win32 desktop's calls for the CTID window against real windows: a client
// that stops answering costs a bounded wait, and a move lands where asked, in
// or out of the topmost band, without resizing.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/platform_win.h"

namespace {

Hwnd H(HWND w) { return reinterpret_cast<Hwnd>(w); }

constexpr UINT kStall = WM_APP + 7;  // the client thread sleeps for wParam ms

// A button on a thread of its own, standing in for another program's window:
// told to stall, its thread stops taking messages for a while.
class Client {
 public:
  Client() {
    ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, Run, this, 0, &threadId_);
    WaitForSingleObject(ready_, 5000);
  }
  ~Client() {
    PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
    WaitForSingleObject(thread_, 10000);
    CloseHandle(thread_);
    CloseHandle(ready_);
  }
  HWND button() const { return button_; }
  void Stall(DWORD ms) {
    PostThreadMessageA(threadId_, kStall, ms, 0);
    Sleep(100);  // the thread is asleep before the test sends
  }

 private:
  static DWORD WINAPI Run(void* self) {
    auto* client = static_cast<Client*>(self);
    client->button_ = CreateWindowExA(0, "BUTTON", "刷新", WS_POPUP, 0, 0, 80, 24, nullptr, nullptr, nullptr, nullptr);
    SetEvent(client->ready_);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
      if (msg.hwnd == nullptr && msg.message == kStall) Sleep(static_cast<DWORD>(msg.wParam));
      DispatchMessageA(&msg);
    }
    DestroyWindow(client->button_);
    return 0;
  }

  HANDLE ready_ = nullptr;
  HANDLE thread_ = nullptr;
  DWORD threadId_ = 0;
  HWND button_ = nullptr;
};

TEST(CtidDesktop, SendsToAnAnsweringClientArriveAndToAStalledOneGiveUp) {
  Win32Desktop desktop;
  Client client;
  ASSERT_TRUE(client.button());
  EXPECT_TRUE(desktop.SetWindowTextWithin(H(client.button()), "刷新（F11）", 1000));
  EXPECT_EQ(desktop.GetWindowTextOf(H(client.button())), "刷新（F11）");

  // Stalled for 4 s, given 500 ms: both sends come back long before the
  // client does, and report that nothing happened.
  client.Stall(4000);
  const DWORD start = GetTickCount();
  EXPECT_FALSE(desktop.SetWindowTextWithin(H(client.button()), "倒计5秒", 500));
  EXPECT_EQ(desktop.ClickButtonWithin(H(client.button()), 500), 0);
  EXPECT_LT(GetTickCount() - start, 2500u);
}

TEST(CtidDesktop, AStalledClientsWindowIsNotMovedNorWaitedFor) {
  Win32Desktop desktop;
  Client client;
  ASSERT_TRUE(client.button());
  RECT before{};
  GetWindowRect(client.button(), &before);
  client.Stall(4000);
  const DWORD start = GetTickCount();
  EXPECT_FALSE(desktop.PlaceWindow(H(client.button()), true, 1300, 200));
  EXPECT_LT(GetTickCount() - start, 2500u);
  RECT after{};
  GetWindowRect(client.button(), &after);
  EXPECT_EQ(after.left, before.left);
}

TEST(CtidDesktop, PlaceMovesWithoutResizingIntoAndOutOfTheTopmostBand) {
  Win32Desktop desktop;
  HWND window = CreateWindowExA(0, "STATIC", "Tollimer CTID test", WS_POPUP, 0, 0, 40, 30, nullptr, nullptr,
                                nullptr, nullptr);
  ASSERT_TRUE(window);
  struct Case {
    bool topmost;
    int left, top;
  };
  for (const Case& c : {Case{true, 1300, 200}, Case{false, 1690, 780}, Case{true, -1280, 0}}) {
    EXPECT_TRUE(desktop.PlaceWindow(H(window), c.topmost, c.left, c.top));
    RECT r{};
    GetWindowRect(window, &r);
    EXPECT_EQ(r.left, c.left);
    EXPECT_EQ(r.top, c.top);
    EXPECT_EQ(r.right - r.left, 40);
    EXPECT_EQ(r.bottom - r.top, 30);
    EXPECT_EQ((GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0, c.topmost);
  }
  DestroyWindow(window);
  EXPECT_FALSE(desktop.PlaceWindow(H(window), true, 10, 10));
  EXPECT_FALSE(desktop.SetWindowTextWithin(H(window), "x", 100));
  EXPECT_EQ(desktop.ClickButtonWithin(H(window), 100), 0);
}

}  // namespace
