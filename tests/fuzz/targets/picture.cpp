// The carousel's own picture reader: any file of the picture folders, read as
// a BMP. A picture that reads must be whole and opaque, and must come back
// the same after the composed wallpaper's writer and this reader again.
#include <string>

#include "desktop/bmp.h"
#include "fuzz_targets.h"

int FuzzReadBmp(const std::uint8_t* data, std::size_t size) {
  Picture picture;
  std::string error;
  if (!ReadBmp(std::string_view(reinterpret_cast<const char*>(data), size), picture, error)) {
    if (error.empty()) FuzzFail("a refusal without a reason");
    if (!picture.pixels.empty() || picture.width != 0) FuzzFail("a refused picture left pixels");
    return 0;
  }
  if (!PictureSizeAllowed(picture.width, picture.height)) FuzzFail("a picture beyond the size limits");
  if (picture.pixels.size() != static_cast<std::size_t>(picture.width) * picture.height) {
    FuzzFail("pixels do not fill the picture");
  }
  for (std::uint32_t pixel : picture.pixels) {
    if ((pixel & kOpaque) != kOpaque) FuzzFail("a pixel that is not opaque");
  }
  Picture back;
  if (!ReadBmp(WriteBmp(picture), back, error)) FuzzFail("the written picture does not read");
  if (back.width != picture.width || back.height != picture.height || back.pixels != picture.pixels) {
    FuzzFail("the written picture reads differently");
  }
  return 0;
}
