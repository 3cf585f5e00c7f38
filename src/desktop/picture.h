// A decoded picture: plain 32-bit pixels, row by row from the top, each pixel
// 0xAARRGGBB (in memory B, G, R, A, the layout of a 32-bit Windows DIB and of
// WIC's 32bppBGRA), straight (not premultiplied) alpha.
#pragma once
#include <cstdint>
#include <vector>

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;  // width * height

  std::uint32_t& At(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
  std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// Limits of a picture the carousel decodes. A cafe's logo or background is at
// most a few screens large; a 30000 x 30000 file would need 3.6 GB of pixels,
// more than a 32-bit process can ever get, so its size is refused from the
// header, before anything is allocated.
constexpr int kMaxPictureSide = 16384;
constexpr std::int64_t kMaxPicturePixels = 40'000'000;  // 160 MB of pixels

inline bool PictureSizeAllowed(std::int64_t width, std::int64_t height) {
  return width > 0 && height > 0 && width <= kMaxPictureSide && height <= kMaxPictureSide &&
         width * height <= kMaxPicturePixels;
}

constexpr std::uint32_t kOpaque = 0xFF000000u;
