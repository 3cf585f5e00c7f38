// Decoding of the compressed picture formats (JPEG, PNG, GIF) with the
// platform's own codec, WIC (picture_decoder_win.cpp). BMP never comes here:
// the core reads it itself.
#pragma once
#include <memory>
#include <string_view>

#include "desktop/picture.h"
#include "platform/files.h"

class PictureDecoder {
 public:
  virtual ~PictureDecoder() = default;
  // The first frame of the picture in `bytes` as 32-bit pixels with straight
  // alpha. Fails (lastError: the HRESULT) for content the codec does not know,
  // cut-short data, and pictures beyond PictureSizeAllowed, which are refused
  // from their header before any pixel memory is taken.
  [[nodiscard]] virtual FileResult Decode(std::string_view bytes, Picture& out) = 0;
};

// WIC; exists in the Windows tree only. Initialises COM for the calling
// thread (single-threaded apartment, the user-interface thread).
std::unique_ptr<PictureDecoder> MakeWicPictureDecoder();
