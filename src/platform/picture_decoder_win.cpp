// JPEG, PNG and GIF through WIC, which every supported Windows has. The bytes
// are decoded from memory, so the file was opened once, by the ANSI call that
// understands GBK paths, and WIC never sees a path.
#include <windows.h>
#include <wincodec.h>

#include "platform/picture_decoder.h"

namespace {

// Releases the interface on every way out.
template <typename T>
class ComHolder {
 public:
  ComHolder() = default;
  ~ComHolder() {
    if (p_) p_->Release();
  }
  ComHolder(const ComHolder&) = delete;
  ComHolder& operator=(const ComHolder&) = delete;
  T** out() { return &p_; }
  T* operator->() const { return p_; }
  T* get() const { return p_; }

 private:
  T* p_ = nullptr;
};

FileResult Failed(HRESULT hr, const char* what) {
  return {false, static_cast<unsigned long>(hr), what};
}

class WicPictureDecoder : public PictureDecoder {
 public:
  WicPictureDecoder() {
    // S_FALSE: COM was already initialised on this thread; it still needs
    // its matching uninitialise.
    const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    comInitialised_ = SUCCEEDED(init);
  }
  ~WicPictureDecoder() override {
    if (factory_) factory_->Release();
    if (comInitialised_) CoUninitialize();
  }

  FileResult Decode(std::string_view bytes, Picture& out) override {
    out = Picture{};
    if (!factory_) {
      const HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                          IID_IWICImagingFactory, reinterpret_cast<void**>(&factory_));
      if (FAILED(hr)) {
        factory_ = nullptr;
        return Failed(hr, "WIC imaging factory unavailable");
      }
    }
    if (bytes.empty()) return Failed(WINCODEC_ERR_BADHEADER, "empty picture file");
    ComHolder<IWICStream> stream;
    HRESULT hr = factory_->CreateStream(stream.out());
    if (FAILED(hr)) return Failed(hr, "WIC stream");
    hr = stream->InitializeFromMemory(reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data())),
                                      static_cast<DWORD>(bytes.size()));
    if (FAILED(hr)) return Failed(hr, "WIC stream");
    ComHolder<IWICBitmapDecoder> decoder;
    hr = factory_->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                           decoder.out());
    if (FAILED(hr)) return Failed(hr, "not a picture WIC knows");
    ComHolder<IWICBitmapFrameDecode> frame;
    hr = decoder->GetFrame(0, frame.out());
    if (FAILED(hr)) return Failed(hr, "picture without a frame");
    UINT width = 0, height = 0;
    hr = frame->GetSize(&width, &height);
    if (FAILED(hr)) return Failed(hr, "picture size unreadable");
    if (!PictureSizeAllowed(width, height)) return Failed(E_OUTOFMEMORY, "picture too large");
    ComHolder<IWICFormatConverter> converter;
    hr = factory_->CreateFormatConverter(converter.out());
    if (FAILED(hr)) return Failed(hr, "WIC converter");
    hr = converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone,
                               nullptr, 0.0, WICBitmapPaletteTypeCustom);
    if (FAILED(hr)) return Failed(hr, "picture not convertible to 32-bit");
    Picture picture;
    picture.width = static_cast<int>(width);
    picture.height = static_cast<int>(height);
    picture.pixels.resize(static_cast<std::size_t>(width) * height);
    hr = converter->CopyPixels(nullptr, width * 4, static_cast<UINT>(picture.pixels.size() * 4),
                               reinterpret_cast<BYTE*>(picture.pixels.data()));
    if (FAILED(hr)) return Failed(hr, "picture data cut short or corrupt");
    out = std::move(picture);
    return {};
  }

 private:
  bool comInitialised_ = false;
  IWICImagingFactory* factory_ = nullptr;
};

}  // namespace

std::unique_ptr<PictureDecoder> MakeWicPictureDecoder() {
  return std::make_unique<WicPictureDecoder>();
}
