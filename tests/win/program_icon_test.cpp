// The program's icon on its windows: asked as the taskbar and Alt+Tab ask
// (WM_GETICON), a window answers with the icon of the executable's resource
// at the system's sizes. Asked from another process, Wine does not answer
// WM_GETICON at all, so the check runs here, with the program's resource
// linked into the test executable.
#include <windows.h>

#include <gtest/gtest.h>

#include "desktop/program_icon_win.h"

namespace {

HWND MakeCaptionedWindow() {
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "ProgramIconTest";
  RegisterClassA(&wc);
  return CreateWindowExA(0, wc.lpszClassName, "icon", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                         wc.hInstance, nullptr);
}

SIZE IconSize(HICON icon) {
  ICONINFO info{};
  if (!GetIconInfo(icon, &info)) return {0, 0};
  BITMAP bitmap{};
  GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
  if (info.hbmColor) DeleteObject(info.hbmColor);
  if (info.hbmMask) DeleteObject(info.hbmMask);
  return {bitmap.bmWidth, info.hbmColor ? bitmap.bmHeight : bitmap.bmHeight / 2};
}

HICON Asked(HWND window, WPARAM which) {
  return reinterpret_cast<HICON>(SendMessageA(window, WM_GETICON, which, 0));
}

}  // namespace

TEST(ProgramIcon, AWindowAnswersWithTheProgramsIconAtBothSystemSizes) {
  HWND window = MakeCaptionedWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_EQ(Asked(window, ICON_BIG), nullptr) << "a new window starts without an icon";
  ASSERT_EQ(Asked(window, ICON_SMALL), nullptr);

  GiveProgramIcon(window);

  const struct {
    WPARAM which;
    int width, height;
  } sizes[] = {{ICON_BIG, SM_CXICON, SM_CYICON}, {ICON_SMALL, SM_CXSMICON, SM_CYSMICON}};
  for (const auto& size : sizes) {
    HICON icon = Asked(window, size.which);
    ASSERT_NE(icon, nullptr) << "icon " << size.which;
    const SIZE got = IconSize(icon);
    EXPECT_EQ(got.cx, GetSystemMetrics(size.width)) << "icon " << size.which;
    EXPECT_EQ(got.cy, GetSystemMetrics(size.height)) << "icon " << size.which;
  }
  // The same image the executable carries, not a stock one.
  EXPECT_NE(Asked(window, ICON_BIG), LoadIcon(nullptr, IDI_APPLICATION));
  EXPECT_NE(Asked(window, ICON_BIG), Asked(window, ICON_SMALL));
  DestroyWindow(window);
}
