// The face-comparison window and the window copies it shows, against real
// windows of this process: its layout, the mirror of a preview that is
// there, gone or empty, and the alert frame.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform_win.h"
#include "watcher/face_check_form_win.h"
#include "watcher/window_capture_win.h"

namespace {

Hwnd H(HWND w) { return reinterpret_cast<Hwnd>(w); }

struct ChildInfo {
  std::string cls, text;
  RECT rect;  // in the form's client pixels
  DWORD style;
};

std::vector<ChildInfo> ChildrenOf(HWND parent) {
  std::vector<ChildInfo> out;
  for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    char cls[64] = {}, text[256] = {};
    GetClassNameA(c, cls, sizeof cls);
    GetWindowTextA(c, text, sizeof text);
    RECT r{};
    GetWindowRect(c, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    out.push_back({cls, text, r, static_cast<DWORD>(GetWindowLongA(c, GWL_STYLE))});
  }
  return out;
}

// A window of a solid colour, standing in for the camera preview.
HWND SolidWindow(COLORREF colour, int x, int y, int w, int h) {
  static HBRUSH brush = nullptr;
  static COLORREF registered = CLR_INVALID;
  const std::string cls = "TollimerSolid" + std::to_string(colour);
  if (registered != colour) {
    brush = CreateSolidBrush(colour);
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = brush;
    wc.lpszClassName = cls.c_str();
    RegisterClassA(&wc);
    registered = colour;
  }
  HWND hwnd = CreateWindowExA(WS_EX_TOPMOST, cls.c_str(), "", WS_POPUP | WS_VISIBLE, x, y, w, h, nullptr,
                              nullptr, GetModuleHandleA(nullptr), nullptr);
  UpdateWindow(hwnd);
  return hwnd;
}

COLORREF PixelOf(HWND hwnd, int x, int y) {
  UpdateWindow(hwnd);
  HDC dc = GetDC(hwnd);
  COLORREF c = GetPixel(dc, x, y);
  ReleaseDC(hwnd, dc);
  return c;
}

void Pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

TEST(TfrmFaceCheck, ClientAreaAndEveryControlAtItsPlace) {
  TfrmFaceCheck form;
  ASSERT_TRUE(form.Create(nullptr));
  HWND hwnd = reinterpret_cast<HWND>(form.Handle());
  RECT client{};
  GetClientRect(hwnd, &client);
  EXPECT_EQ(client.right, 703);
  EXPECT_EQ(client.bottom, 611);
  char caption[64] = {};
  GetWindowTextA(hwnd, caption, sizeof caption);
  EXPECT_STREQ(caption, "人脸比对中...");
  EXPECT_FALSE(IsWindowVisible(hwnd));

  struct Expected { const char* cls; const char* text; int x, y, w, h; } expected[] = {
      {"Static", "身份证号:", 167, 24, 106, 25},
      {"Edit", "", 267, 22, 169, 24},
      {"TPanel", "", 27, 68, 644, 484},
      {"Static", "提示:人脸在圆形中,做眨眼动作,不要大幅度晃动", -12, 568, 728, 36},
  };
  const std::vector<ChildInfo> children = ChildrenOf(hwnd);
  ASSERT_EQ(children.size(), std::size(expected));
  for (size_t i = 0; i < children.size(); ++i) {
    const ChildInfo& c = children[i];
    const Expected& e = expected[i];
    EXPECT_EQ(_stricmp(c.cls.c_str(), e.cls), 0) << c.cls;
    EXPECT_EQ(c.text, e.text) << i;
    EXPECT_EQ(c.rect.left, e.x) << e.text;
    EXPECT_EQ(c.rect.top, e.y) << e.text;
    EXPECT_EQ(c.rect.right - c.rect.left, e.w) << e.text;
    EXPECT_EQ(c.rect.bottom - c.rect.top, e.h) << e.text;
  }
  EXPECT_TRUE(children[1].style & ES_READONLY);

  // Image1 fills the panel inside its border.
  RECT image{};
  GetWindowRect(form.Image1(), &image);
  EXPECT_EQ(image.right - image.left, 640);
  EXPECT_EQ(image.bottom - image.top, 480);

  form.SetIdText("44010619900101123X");
  char id[64] = {};
  GetWindowTextA(FindWindowExA(hwnd, nullptr, "Edit", nullptr), id, sizeof id);
  EXPECT_STREQ(id, "44010619900101123X");

  // Closing by hand only hides it.
  form.Show();
  SendMessageA(hwnd, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(hwnd));
  EXPECT_FALSE(form.IsShown());
}

TEST(TfrmFaceCheck, MirrorsThePreviewKeepsTheLastPictureWhenItGoesAndCopiesNothingWithoutOne) {
  TfrmFaceCheck form;
  ASSERT_TRUE(form.Create(nullptr));
  form.Show();
  HWND preview = SolidWindow(RGB(30, 160, 90), 40, 40, 200, 100);
  Pump();

  form.SetPreviewWindow(H(preview));
  form.Timer2Timer();
  EXPECT_EQ(PixelOf(form.Image1(), 10, 10), RGB(30, 160, 90));
  EXPECT_EQ(PixelOf(form.Image1(), 199, 99), RGB(30, 160, 90));
  EXPECT_EQ(PixelOf(form.Image1(), 250, 150), RGB(0, 0, 0));  // beyond the preview: black

  DestroyWindow(preview);
  form.Timer2Timer();
  EXPECT_EQ(PixelOf(form.Image1(), 10, 10), RGB(30, 160, 90));

  // No preview at all must not become a copy of the whole screen.
  TfrmFaceCheck other;
  ASSERT_TRUE(other.Create(nullptr));
  other.Show();
  other.SetPreviewWindow(0);
  other.Timer2Timer();
  EXPECT_EQ(PixelOf(other.Image1(), 10, 10), RGB(0, 0, 0));
}

// Every way the form goes away lets go of the customer: shown again for the
// next one, whose preview cannot be copied yet, its first frame is black,
// not the previous customer's picture, and it shows no ID number.
TEST(TfrmFaceCheck, EveryWayOfGoingAwayLetsGoOfThePictureTheIdAndTimer2) {
  const struct {
    const char* way;
    void (*goAway)(TfrmFaceCheck& form, HWND hwnd);
  } cases[] = {
      {"Hide", [](TfrmFaceCheck& form, HWND) { form.Hide(); }},
      {"WM_CLOSE", [](TfrmFaceCheck&, HWND hwnd) { SendMessageA(hwnd, WM_CLOSE, 0, 0); }},
      {"close box", [](TfrmFaceCheck&, HWND hwnd) { SendMessageA(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0); }},
      {"SW_HIDE", [](TfrmFaceCheck&, HWND hwnd) { ShowWindow(hwnd, SW_HIDE); }},
      // Closed by hand, then hidden by the watch cycle: the second hide
      // finds the form hidden already.
      {"WM_CLOSE, Hide", [](TfrmFaceCheck& form, HWND hwnd) {
         SendMessageA(hwnd, WM_CLOSE, 0, 0);
         form.Hide();
       }},
  };
  HWND preview = SolidWindow(RGB(30, 160, 90), 40, 40, 200, 100);
  Pump();
  for (const auto& c : cases) {
    TfrmFaceCheck form;
    ASSERT_TRUE(form.Create(nullptr));
    HWND hwnd = reinterpret_cast<HWND>(form.Handle());
    form.SetIdText("44010619900101123X");
    form.Show();
    form.SetPreviewWindow(H(preview));
    form.SetTimer2Enabled(true);
    form.Timer2Timer();
    ASSERT_EQ(PixelOf(form.Image1(), 10, 10), RGB(30, 160, 90)) << c.way;

    c.goAway(form, hwnd);
    Pump();
    EXPECT_FALSE(form.IsShown()) << c.way;
    EXPECT_TRUE(IsWindow(hwnd)) << c.way;  // kept for the next dialog
    EXPECT_FALSE(form.Timer2Enabled()) << c.way;
    char id[64] = {};
    GetWindowTextA(FindWindowExA(hwnd, nullptr, "Edit", nullptr), id, sizeof id);
    EXPECT_STREQ(id, "") << c.way;

    form.SetPreviewWindow(0);
    form.Show();
    form.Timer2Timer();  // nothing to copy
    EXPECT_EQ(PixelOf(form.Image1(), 10, 10), RGB(0, 0, 0)) << c.way;
  }
  DestroyWindow(preview);
}

TEST(TfrmFaceCheck, Timer2StartsAndStops) {
  TfrmFaceCheck form;
  ASSERT_TRUE(form.Create(nullptr));
  EXPECT_FALSE(form.Timer2Enabled());
  form.SetTimer2Enabled(true);
  EXPECT_TRUE(form.Timer2Enabled());
  form.SetTimer2Enabled(false);
  EXPECT_FALSE(form.Timer2Enabled());
}

TEST(CaptureWindowBitmap, NoBitmapForNoGoneOrEmptyWindow) {
  EXPECT_EQ(CaptureWindowBitmap(nullptr), nullptr);
  HWND empty = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(CaptureWindowBitmap(empty), nullptr);
  DestroyWindow(empty);
  EXPECT_EQ(CaptureWindowBitmap(empty), nullptr);

  HWND solid = SolidWindow(RGB(200, 40, 40), 300, 300, 33, 17);
  HBITMAP copy = CaptureWindowBitmap(solid);
  ASSERT_NE(copy, nullptr);
  BITMAP info{};
  GetObjectA(copy, sizeof info, &info);
  EXPECT_EQ(info.bmWidth, 33);
  EXPECT_EQ(info.bmHeight, 17);
  EXPECT_TRUE(DeleteObject(copy));  // not held by any device context
  DestroyWindow(solid);
}

TEST(DrawAlertFrame, RedFrameOnTheWindowEdgeAndNothingForAGoneWindow) {
  Win32Desktop desktop;
  HWND button = SolidWindow(RGB(240, 240, 240), 500, 300, 120, 32);
  desktop.DrawAlertFrame(H(button));
  HDC dc = GetWindowDC(button);
  const COLORREF edge = GetPixel(dc, 0, 16);
  const COLORREF inside = GetPixel(dc, 60, 16);
  ReleaseDC(button, dc);
  EXPECT_EQ(edge, RGB(240, 0, 0));  // the light face masked by red
  EXPECT_EQ(inside, RGB(240, 240, 240));
  DestroyWindow(button);
  desktop.DrawAlertFrame(H(button));
  desktop.DrawAlertFrame(0);
}

TEST(Win32DesktopPlacement, MovesWithoutResizingAndClientPointsOfGoneWindows) {
  Win32Desktop desktop;
  HWND window = SolidWindow(RGB(1, 2, 3), 10, 10, 50, 40);
  EXPECT_TRUE(desktop.SetWindowPosition(H(window), kInsertNotTopmost, 300, 200, 3, 4, kNoSizeNoActivate));
  RECT r{};
  GetWindowRect(window, &r);
  EXPECT_EQ(r.left, 300);
  EXPECT_EQ(r.top, 200);
  EXPECT_EQ(r.right - r.left, 50);
  EXPECT_FALSE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_TRUE(desktop.SetWindowPosition(H(window), kInsertTopmost, 310, 210, 3, 4, kNoSizeNoActivate));
  EXPECT_TRUE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST);

  int x = 0, y = 0;
  EXPECT_TRUE(desktop.ClientToScreenPoint(H(window), x, y));
  EXPECT_EQ(x, 310);
  EXPECT_EQ(y, 210);
  DestroyWindow(window);
  x = y = 7;
  EXPECT_FALSE(desktop.ClientToScreenPoint(H(window), x, y));
  EXPECT_FALSE(desktop.ClientToScreenPoint(0, x, y));
  EXPECT_EQ(x, 7);
  EXPECT_FALSE(desktop.SetWindowPosition(H(window), kInsertTopmost, 0, 0, 3, 4, kNoSizeNoActivate));
  EXPECT_EQ(desktop.WindowStyle(H(window)), 0);
}

}  // namespace
