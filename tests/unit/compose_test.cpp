#include "desktop/compose.h"

#include <gtest/gtest.h>

namespace {

TEST(UpperPictureOrigin, LeftCentreAndRightOnTheScreen) {
  struct Case {
    int position, screenW, screenH, w, h;
    bool drawn;
    int x, y;
  } cases[] = {
      {kUpperLeft, 1920, 1080, 400, 300, true, 152, 390},
      {kUpperCentre, 1920, 1080, 400, 300, true, 760, 390},
      {kUpperRight, 1920, 1080, 400, 300, true, 1368, 390},
      // Wider and taller than the screen: negative corners, rounded toward 0.
      {kUpperCentre, 1920, 1080, 2001, 1101, true, -40, -10},
      {kUpperLeft, 1920, 1080, 2001, 300, true, -8, 390},
      {kUpperRight, 1920, 1080, 2001, 300, true, -73, 390},
      {kUpperCentre, 1024, 768, 1024, 768, true, 0, 0},
      {3, 1920, 1080, 400, 300, false, 0, 0},
      {-1, 1920, 1080, 400, 300, false, 0, 0},
  };
  for (const Case& c : cases) {
    Point origin;
    EXPECT_EQ(UpperPictureOrigin(c.position, c.screenW, c.screenH, c.w, c.h, origin), c.drawn)
        << c.position << " " << c.w;
    if (c.drawn) {
      EXPECT_EQ(origin.x, c.x) << c.position << " " << c.w;
      EXPECT_EQ(origin.y, c.y) << c.position << " " << c.w;
    }
  }
}

// The canvas as rows of letters: '.' untouched, 'o' drawn.
std::vector<std::string> Sketch(const Picture& canvas) {
  std::vector<std::string> rows;
  for (int y = 0; y < canvas.height; ++y) {
    std::string row;
    for (int x = 0; x < canvas.width; ++x) row += canvas.At(x, y) == 0xFF000000 ? '.' : 'o';
    rows.push_back(row);
  }
  return rows;
}

TEST(DrawAt, CutsThePictureAtEveryEdge) {
  const Picture upper = FilledPicture(3, 2, 0xFFFFFFFF);
  struct Case {
    Point at;
    std::vector<std::string> sketch;
  } cases[] = {
      {{1, 1}, {".....", ".ooo.", ".ooo.", "....."}},
      {{-2, -1}, {"o....", ".....", ".....", "....."}},
      {{3, 3}, {".....", ".....", ".....", "...oo"}},
      {{5, 0}, {".....", ".....", ".....", "....."}},
      {{-3, 0}, {".....", ".....", ".....", "....."}},
  };
  for (const Case& c : cases) {
    Picture canvas = FilledPicture(5, 4, 0xFF000000);
    DrawAt(canvas, upper, c.at);
    EXPECT_EQ(Sketch(canvas), c.sketch) << c.at.x << "," << c.at.y;
  }
  // Larger than the canvas on every side.
  Picture canvas = FilledPicture(5, 4, 0xFF000000);
  DrawAt(canvas, FilledPicture(9, 9, 0xFFFFFFFF), {-2, -2});
  EXPECT_EQ(Sketch(canvas), (std::vector<std::string>(4, "ooooo")));
}

TEST(DrawAt, BlendsTranslucentPixelsOverTheCanvas) {
  Picture upper = FilledPicture(3, 1, 0);
  upper.pixels = {0x00FFFFFF, 0x80FFFFFF, 0xFF123456};  // transparent, half, opaque
  Picture canvas = FilledPicture(3, 1, 0xFF000000);
  DrawAt(canvas, upper, {0, 0});
  EXPECT_EQ(canvas.pixels, (std::vector<std::uint32_t>{0xFF000000, 0xFF808080, 0xFF123456}));
}

TEST(StretchOver, CoversTheWholeCanvasWithoutKeepingTheAspectRatio) {
  Picture source = FilledPicture(2, 1, 0);
  source.pixels = {0xFFFF0000, 0xFF0000FF};
  Picture canvas = FilledPicture(6, 3, 0xFF000000);
  StretchOver(canvas, source);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 6; ++x) EXPECT_EQ(canvas.At(x, y), x < 3 ? 0xFFFF0000 : 0xFF0000FF);
  }

  // Shrinking takes every other pixel, from the middle of each cell.
  Picture wide = FilledPicture(4, 2, 0);
  wide.pixels = {1, 2, 3, 4, 5, 6, 7, 8};
  for (auto& p : wide.pixels) p |= kOpaque;
  Picture small = FilledPicture(2, 1, 0xFF000000);
  StretchOver(small, wide);
  EXPECT_EQ(small.pixels, (std::vector<std::uint32_t>{kOpaque | 6, kOpaque | 8}));
}

}  // namespace
