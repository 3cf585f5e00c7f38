// Stands in for WIC: a "compressed picture" here is the text
// "PIC <width> <height> <colour hex>", decoded to a picture of that one
// colour; anything else fails as WIC fails on a file it does not know.
#pragma once
#include <cstdio>
#include <string>

#include "platform/picture_decoder.h"

class FakePictureDecoder : public PictureDecoder {
 public:
  int calls = 0;

  static std::string Encode(int width, int height, std::uint32_t colour) {
    char text[64];
    std::snprintf(text, sizeof text, "PIC %d %d %08X", width, height, colour);
    return text;
  }

  FileResult Decode(std::string_view bytes, Picture& out) override {
    ++calls;
    out = Picture{};
    int width = 0, height = 0;
    unsigned colour = 0;
    const std::string text(bytes);
    if (std::sscanf(text.c_str(), "PIC %d %d %X", &width, &height, &colour) != 3) {
      return {false, 0x88982F50, "not a picture WIC knows"};
    }
    if (!PictureSizeAllowed(width, height)) return {false, 0x8007000E, "picture too large"};
    out.width = width;
    out.height = height;
    out.pixels.assign(static_cast<std::size_t>(width) * height, colour);
    return {};
  }
};
