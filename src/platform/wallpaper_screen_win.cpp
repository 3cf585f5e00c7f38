#include <windows.h>

#include "platform/wallpaper_screen.h"

namespace {

class Win32WallpaperScreen : public WallpaperScreen {
 public:
  int ScreenWidth() override { return GetSystemMetrics(SM_CXSCREEN); }
  int ScreenHeight() override { return GetSystemMetrics(SM_CYSCREEN); }

  std::uint32_t DesktopColour() override {
    const COLORREF c = GetSysColor(COLOR_DESKTOP);  // 0x00BBGGRR
    return 0xFF000000u | std::uint32_t{GetRValue(c)} << 16 | std::uint32_t{GetGValue(c)} << 8 |
           GetBValue(c);
  }

  int SetDeskWallpaper(const std::string& path) override {
    // Written to the user profile too: the "Wallpaper" value must name what
    // is shown, since an upper-layer-only step draws over that file, and the
    // wallpaper must survive the next sign-in. Without SPIF_UPDATEINIFILE the
    // change stays in memory (Wine keeps it in a volatile key) and the value
    // goes on naming the wallpaper of before.
    return SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, const_cast<char*>(path.c_str()),
                                 SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE);
  }

  std::uint32_t TickCount() override { return GetTickCount(); }
};

}  // namespace

std::unique_ptr<WallpaperScreen> MakeWin32WallpaperScreen() {
  return std::make_unique<Win32WallpaperScreen>();
}
