// The Win32 desktop against real windows of this process: the edges a watch
// step meets when another program's window is odd or gone.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/platform_win.h"

namespace {

Hwnd H(HWND w) { return reinterpret_cast<Hwnd>(w); }

struct DesktopTest : ::testing::Test {
  Win32Desktop desktop;
  HWND top = CreateWindowExA(0, "STATIC", "Tollimer desktop test", WS_POPUP, 0, 0, 10, 10, nullptr,
                             nullptr, nullptr, nullptr);
  ~DesktopTest() override {
    if (IsWindow(top)) DestroyWindow(top);
  }
};

TEST_F(DesktopTest, CaptionLongerThanTheBufferIsCutTo1023Bytes) {
  const std::string longText(3000, 'x');
  SetWindowTextA(top, longText.c_str());
  EXPECT_EQ(desktop.GetWindowTextOf(H(top)), std::string(1023, 'x'));
  desktop.SetWindowTextOf(H(top), "短文本");
  EXPECT_EQ(desktop.GetWindowTextOf(H(top)), "短文本");
}

TEST_F(DesktopTest, GoneWindowAnswersNothingAndNoChildSearchLeavesItsParent) {
  HWND child = CreateWindowExA(0, "BUTTON", "是(&Y)", WS_CHILD, 0, 0, 5, 5, top, nullptr, nullptr, nullptr);
  EXPECT_EQ(desktop.FindChild(H(top), "Button", "是(&Y)"), H(child));
  // A missing parent must not turn the child search into a top-level search.
  EXPECT_EQ(desktop.FindChild(0, "STATIC", "Tollimer desktop test"), 0u);
  EXPECT_EQ(desktop.FindTopWindow("STATIC", "Tollimer desktop test"), H(top));

  const Hwnd gone = H(top);
  DestroyWindow(top);
  EXPECT_EQ(desktop.GetWindowTextOf(gone), "");
  EXPECT_EQ(desktop.ClickButton(H(child)), 0);
  EXPECT_FALSE(desktop.IsVisible(gone));
  desktop.SendClose(gone);
  desktop.SelectComboItem(gone, 1);
  desktop.SetWindowTextOf(gone, "x");
  EXPECT_EQ(desktop.FindChild(gone, nullptr, nullptr), 0u);
}

}  // namespace
