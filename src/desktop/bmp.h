// BMP files, read and written by our own code: the carousel's composed
// wallpaper is a BMP, and the background or upper pictures may be BMPs of any
// of the common kinds that paint programs save.
#pragma once
#include <string>
#include <string_view>

#include "desktop/picture.h"

// Reads a whole BMP file: 1, 4, 8 bits with a palette (4 and 8 bits also
// run-length coded, as ImageMagick saves them), 16 bits (5-5-5, or the
// masks of BI_BITFIELDS), 24 and 32 bits; bottom-up or top-down. Every pixel
// comes out opaque (the fourth byte of a 32-bit BMP is rarely an alpha
// channel). On failure returns false with a short English reason in `error`
// (not a BMP, cut short, compressed, too large) and leaves `out` empty; a too
// large picture is refused from its header, before any pixel memory exists.
[[nodiscard]] bool ReadBmp(std::string_view bytes, Picture& out, std::string& error);

// The picture as a bottom-up 24-bit BMP file (alpha dropped).
std::string WriteBmp(const Picture& picture);
