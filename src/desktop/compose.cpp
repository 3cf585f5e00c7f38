#include "desktop/compose.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

// Straight-alpha "over" onto an opaque pixel.
std::uint32_t Over(std::uint32_t top, std::uint32_t bottom) {
  const std::uint32_t a = top >> 24;
  if (a == 0xFF) return top;
  if (a == 0) return bottom | kOpaque;
  std::uint32_t out = kOpaque;
  for (int shift = 0; shift < 24; shift += 8) {
    const std::uint32_t t = (top >> shift) & 0xFF;
    const std::uint32_t b = (bottom >> shift) & 0xFF;
    out |= ((t * a + b * (255 - a) + 127) / 255) << shift;
  }
  return out;
}

// For each of `to` destination cells, the source cell under its centre.
std::vector<int> SampleMap(int to, int from) {
  std::vector<int> map(static_cast<std::size_t>(std::max(to, 0)));
  for (int i = 0; i < to; ++i) {
    map[i] = static_cast<int>((std::int64_t{2} * i + 1) * from / (std::int64_t{2} * to));
  }
  return map;
}

}  // namespace

bool UpperPictureOrigin(int position, int screenWidth, int screenHeight, int width, int height,
                        Point& origin) {
  const int freeWidth = screenWidth - width;
  origin.y = (screenHeight - height) / 2;
  switch (position) {
    case kUpperLeft: origin.x = freeWidth / 10; return true;
    case kUpperCentre: origin.x = freeWidth / 2; return true;
    case kUpperRight: origin.x = freeWidth - freeWidth / 10; return true;
    default: return false;
  }
}

Picture FilledPicture(int width, int height, std::uint32_t colour) {
  Picture p;
  p.width = width;
  p.height = height;
  p.pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), colour);
  return p;
}

void StretchOver(Picture& canvas, const Picture& source) {
  if (source.width <= 0 || source.height <= 0) return;
  const std::vector<int> columns = SampleMap(canvas.width, source.width);
  const std::vector<int> rows = SampleMap(canvas.height, source.height);
  for (int y = 0; y < canvas.height; ++y) {
    const std::uint32_t* from = &source.pixels[static_cast<std::size_t>(rows[y]) * source.width];
    std::uint32_t* to = &canvas.pixels[static_cast<std::size_t>(y) * canvas.width];
    for (int x = 0; x < canvas.width; ++x) to[x] = Over(from[columns[x]], to[x]);
  }
}

void DrawAt(Picture& canvas, const Picture& source, Point origin) {
  const int left = std::max(0, origin.x);
  const int top = std::max(0, origin.y);
  const int right = static_cast<int>(std::min<std::int64_t>(canvas.width, std::int64_t{origin.x} + source.width));
  const int bottom =
      static_cast<int>(std::min<std::int64_t>(canvas.height, std::int64_t{origin.y} + source.height));
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) {
      canvas.At(x, y) = Over(source.At(x - origin.x, y - origin.y), canvas.At(x, y));
    }
  }
}
