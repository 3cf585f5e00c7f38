// The wallpaper's composition on plain pixel buffers: a background stretched
// over the whole screen, an upper picture (logo, price list) drawn unscaled at
// the left, centre or right.
#pragma once
#include "desktop/picture.h"

// Upper-layer positions, the item indexes of the settings window's list.
enum UpperPosition : int { kUpperLeft = 0, kUpperCentre = 1, kUpperRight = 2 };

struct Point {
  int x = 0;
  int y = 0;
};

// Top-left corner of a width x height upper picture on a screenWidth x
// screenHeight screen, vertically centred; left and right keep a tenth of the
// free width to the edge. Integer division toward zero, so a picture larger
// than the screen gets a negative corner. False for any other position: the
// upper picture is then not drawn.
bool UpperPictureOrigin(int position, int screenWidth, int screenHeight, int width, int height,
                        Point& origin);

// A canvas of the given size filled with one colour (0xAARRGGBB).
Picture FilledPicture(int width, int height, std::uint32_t colour);

// Stretches `source` over the whole canvas without keeping its aspect ratio
// (each canvas pixel takes the source pixel under its centre).
void StretchOver(Picture& canvas, const Picture& source);

// Draws `source` unscaled with its top-left corner at `origin`, cut at the
// canvas edges. Translucent pixels (PNG, GIF transparency) are blended over
// what the canvas holds; the canvas stays opaque.
void DrawAt(Picture& canvas, const Picture& source, Point origin);
