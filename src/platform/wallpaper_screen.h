// The desktop as the wallpaper carousel sees it: the primary screen's size,
// the desktop colour, the call that sets the wallpaper, and a millisecond
// tick for timing a step. Implemented over user32/kernel32
// (wallpaper_screen_win.cpp) and by a fake in the tests.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

class WallpaperScreen {
 public:
  virtual ~WallpaperScreen() = default;
  // The primary screen in pixels (system metrics), e.g. 1920 x 1080.
  virtual int ScreenWidth() = 0;
  virtual int ScreenHeight() = 0;
  // The desktop-background system colour as 0xAARRGGBB, opaque.
  virtual std::uint32_t DesktopColour() = 0;
  // Makes the file the wallpaper (SPI_SETDESKWALLPAPER), announced to every
  // window and not stored in the user profile; the call's result (non-zero
  // on success).
  virtual int SetDeskWallpaper(const std::string& path) = 0;
  // Milliseconds since some fixed moment (GetTickCount).
  virtual std::uint32_t TickCount() = 0;
};

std::unique_ptr<WallpaperScreen> MakeWin32WallpaperScreen();
