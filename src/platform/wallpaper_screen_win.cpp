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
    // Announced to every window but not written to the user profile: the
    // carousel's picture must not become the cafe's own wallpaper, which
    // comes back once the carousel is switched off or the PC restarts.
    return SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, const_cast<char*>(path.c_str()),
                                 SPIF_SENDWININICHANGE);
  }

  std::uint32_t TickCount() override { return GetTickCount(); }
};

}  // namespace

std::unique_ptr<WallpaperScreen> MakeWin32WallpaperScreen() {
  return std::make_unique<Win32WallpaperScreen>();
}
