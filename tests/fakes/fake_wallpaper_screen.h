// A primary screen of a size the test sets; records every wallpaper set and
// moves its tick on by a fixed step per reading.
#pragma once
#include <string>
#include <vector>

#include "platform/wallpaper_screen.h"

class FakeWallpaperScreen : public WallpaperScreen {
 public:
  int width = 1920;
  int height = 1080;
  std::uint32_t colour = 0xFF3A6EA5;
  int result = 1;  // what the wallpaper call returns
  std::vector<std::string> wallpapers;
  std::uint32_t tick = 5000;
  std::uint32_t tickStep = 0;

  int ScreenWidth() override { return width; }
  int ScreenHeight() override { return height; }
  std::uint32_t DesktopColour() override { return colour; }
  int SetDeskWallpaper(const std::string& path) override {
    wallpapers.push_back(path);
    return result;
  }
  std::uint32_t TickCount() override {
    const std::uint32_t now = tick;
    tick += tickStep;
    return now;
  }
};
