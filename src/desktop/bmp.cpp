#include "desktop/bmp.h"

#include <bit>
#include <cstdint>

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12;  // OS/2 BITMAPCOREHEADER
constexpr std::uint32_t kInfoHeaderSize = 40;  // BITMAPINFOHEADER
constexpr std::uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3, kBiAlphaBitfields = 6;

std::uint32_t U16(std::string_view b, std::size_t at) {
  return static_cast<std::uint8_t>(b[at]) | static_cast<std::uint8_t>(b[at + 1]) << 8;
}
std::uint32_t U32(std::string_view b, std::size_t at) {
  return U16(b, at) | U16(b, at + 2) << 16;
}

// One colour channel described by a bit mask, widened to 8 bits. The scale
// is the span from the mask's lowest to its highest bit, so a mask with gaps
// (its holes read as zero) still gives at most 255 and never reaches into the
// neighbouring channel.
struct Channel {
  std::uint32_t mask = 0;
  int shift = 0;
  std::uint64_t max = 0;

  explicit Channel(std::uint32_t m) : mask(m) {
    if (mask == 0) return;
    shift = std::countr_zero(mask);
    max = (std::uint64_t{1} << (std::bit_width(mask) - shift)) - 1;
  }
  std::uint32_t Of(std::uint32_t pixel) const {
    if (max == 0) return 0;
    return static_cast<std::uint32_t>(((pixel & mask) >> shift) * 255 / max);
  }
};

bool Fail(std::string& error, const char* reason) {
  error = reason;
  return false;
}

void PutU16(std::string& out, std::uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}
void PutU32(std::string& out, std::uint32_t v) {
  PutU16(out, v & 0xFFFF);
  PutU16(out, v >> 16);
}

// Run-length coded pixels (RLE8, RLE4; always bottom-up) into `out`, whose
// pixels are already black. A run may fill its row up to the row's padding
// (the 32-bit boundary an uncoded row would have; ImageMagick pads its runs
// so): pixels there are dropped. A run or a move past that, or above the
// picture, makes the data broken, as does data that ends before its
// end-of-picture mark. So the column and row stay within the picture's
// padded sides, and no count in the file can wrap them. Returns nothing on
// success, else the reason.
constexpr const char* kRleCutShort = "BMP cut short";
constexpr const char* kRleOutside = "run-length data outside the picture";

const char* DecodeRle(std::string_view data, int bits, const std::uint32_t* palette, Picture& out) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(data.data());
  const std::size_t size = data.size();
  const std::size_t width = static_cast<std::size_t>(out.width);
  const std::size_t height = static_cast<std::size_t>(out.height);
  const std::size_t rowEnd = (width * bits + 31) / 32 * 32 / bits;  // with the padding
  std::size_t at = 0;
  std::size_t x = 0, row = 0;  // row 0 is the bottom row
  auto put = [&](unsigned index) {
    if (x < width) out.pixels[(height - 1 - row) * width + x] = palette[index & 0xFF] | kOpaque;
    ++x;
  };
  while (at + 2 <= size) {
    const unsigned count = p[at], value = p[at + 1];
    at += 2;
    if (count > 0) {
      if (count > rowEnd - x) return kRleOutside;
      for (unsigned i = 0; i < count; ++i) put(bits == 8 ? value : (i % 2 ? value & 0xF : value >> 4));
      continue;
    }
    if (value == 0) {  // end of line
      x = 0;
      ++row;
    } else if (value == 1) {  // end of picture
      return nullptr;
    } else if (value == 2) {  // move right and up
      if (at + 2 > size) return kRleCutShort;
      if (p[at] > rowEnd - x || p[at + 1] > height - row) return kRleOutside;
      x += p[at];
      row += p[at + 1];
      at += 2;
    } else {  // `value` pixels given one by one, padded to a 16-bit boundary
      const std::size_t bytes = bits == 8 ? value : (value + 1) / 2;
      if (at + bytes > size) return kRleCutShort;
      if (value > rowEnd - x) return kRleOutside;
      for (unsigned i = 0; i < value; ++i) {
        put(bits == 8 ? p[at + i] : (i % 2 ? p[at + i / 2] & 0xF : p[at + i / 2] >> 4));
      }
      at += bytes + (bytes & 1);
    }
    if (row >= height) return nullptr;  // nothing more can be drawn
  }
  return kRleCutShort;
}

}  // namespace

bool ReadBmp(std::string_view bytes, Picture& out, std::string& error) {
  out = Picture{};
  if (bytes.size() < kFileHeaderSize + 4 || bytes[0] != 'B' || bytes[1] != 'M') {
    return Fail(error, "not a BMP file");
  }
  const std::uint32_t dataOffset = U32(bytes, 10);
  const std::uint32_t headerSize = U32(bytes, kFileHeaderSize);
  const std::size_t header = kFileHeaderSize;

  std::int64_t width = 0, height = 0;
  std::uint32_t bits = 0, compression = kBiRgb, colorsUsed = 0;
  std::size_t paletteAt = 0, paletteEntrySize = 4;
  std::uint32_t masks[3] = {0, 0, 0};
  if (headerSize == kCoreHeaderSize) {
    if (bytes.size() < header + kCoreHeaderSize) return Fail(error, "BMP cut short");
    width = U16(bytes, header + 4);
    height = static_cast<std::int16_t>(U16(bytes, header + 6));
    bits = U16(bytes, header + 10);
    paletteAt = header + kCoreHeaderSize;
    paletteEntrySize = 3;
  } else if (headerSize >= kInfoHeaderSize && headerSize <= 4096) {
    if (bytes.size() < header + headerSize) return Fail(error, "BMP cut short");
    width = static_cast<std::int32_t>(U32(bytes, header + 4));
    height = static_cast<std::int32_t>(U32(bytes, header + 8));
    bits = U16(bytes, header + 14);
    compression = U32(bytes, header + 16);
    colorsUsed = U32(bytes, header + 32);
    paletteAt = header + headerSize;
    if (compression == kBiBitfields || compression == kBiAlphaBitfields) {
      // The masks sit inside a V4/V5 header, or follow a plain info header.
      std::size_t masksAt = header + kInfoHeaderSize;
      if (headerSize == kInfoHeaderSize) {
        paletteAt += compression == kBiAlphaBitfields ? 16 : 12;
      }
      if (bytes.size() < masksAt + 12) return Fail(error, "BMP cut short");
      for (int i = 0; i < 3; ++i) masks[i] = U32(bytes, masksAt + 4 * i);
    }
  } else {
    return Fail(error, "unknown BMP header");
  }

  const bool topDown = height < 0;
  if (topDown) height = -height;
  if (width <= 0 || height <= 0) return Fail(error, "BMP without pixels");
  if (!PictureSizeAllowed(width, height)) return Fail(error, "picture too large");
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
    return Fail(error, "unsupported BMP bit count");
  }
  const bool masked = compression == kBiBitfields || compression == kBiAlphaBitfields;
  const bool runLength = (compression == kBiRle8 && bits == 8) || (compression == kBiRle4 && bits == 4);
  if (runLength && topDown) return Fail(error, "top-down run-length BMP");
  if (compression != kBiRgb && !runLength && !(masked && (bits == 16 || bits == 32))) {
    return Fail(error, "compressed BMP not supported");
  }
  if (!masked) {
    if (bits == 16) masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
    if (bits == 32) masks[0] = 0xFF0000, masks[1] = 0x00FF00, masks[2] = 0x0000FF;
  }

  // The palette: as many entries as announced and present, the rest black.
  std::uint32_t palette[256] = {};
  if (bits <= 8) {
    std::uint32_t count = colorsUsed == 0 || colorsUsed > (1u << bits) ? (1u << bits) : colorsUsed;
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::size_t at = paletteAt + i * paletteEntrySize;
      if (at + 3 > bytes.size() || at + 3 > dataOffset) break;
      palette[i] = static_cast<std::uint8_t>(bytes[at]) |
                   static_cast<std::uint8_t>(bytes[at + 1]) << 8 |
                   static_cast<std::uint8_t>(bytes[at + 2]) << 16;
    }
  }

  if (runLength) {
    if (dataOffset > bytes.size()) return Fail(error, "BMP cut short");
    out.width = static_cast<int>(width);
    out.height = static_cast<int>(height);
    out.pixels.assign(static_cast<std::size_t>(width * height), kOpaque);
    if (const char* broken = DecodeRle(bytes.substr(dataOffset), static_cast<int>(bits), palette, out)) {
      out = Picture{};
      return Fail(error, broken);
    }
    error.clear();
    return true;
  }

  const std::int64_t stride = (width * bits + 31) / 32 * 4;
  if (dataOffset > bytes.size() ||
      static_cast<std::int64_t>(bytes.size() - dataOffset) < stride * height) {
    return Fail(error, "BMP cut short");
  }

  const Channel red(masks[0]), green(masks[1]), blue(masks[2]);
  out.width = static_cast<int>(width);
  out.height = static_cast<int>(height);
  out.pixels.resize(static_cast<std::size_t>(width * height));
  for (int y = 0; y < out.height; ++y) {
    const int fileRow = topDown ? y : out.height - 1 - y;
    const auto* row = reinterpret_cast<const std::uint8_t*>(bytes.data()) + dataOffset +
                      static_cast<std::size_t>(fileRow) * static_cast<std::size_t>(stride);
    for (int x = 0; x < out.width; ++x) {
      std::uint32_t colour = 0;
      switch (bits) {
        case 1: colour = palette[(row[x / 8] >> (7 - x % 8)) & 1]; break;
        case 4: colour = palette[(row[x / 2] >> (x % 2 ? 0 : 4)) & 0xF]; break;
        case 8: colour = palette[row[x]]; break;
        case 24: colour = row[3 * x] | row[3 * x + 1] << 8 | row[3 * x + 2] << 16; break;
        default: {
          const std::uint8_t* p = row + x * (bits / 8);
          std::uint32_t v = bits == 16 ? p[0] | p[1] << 8
                                       : p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t{p[3]} << 24;
          colour = blue.Of(v) | green.Of(v) << 8 | red.Of(v) << 16;
        }
      }
      out.At(x, y) = colour | kOpaque;
    }
  }
  error.clear();
  return true;
}

std::string WriteBmp(const Picture& picture) {
  const std::uint32_t stride = (static_cast<std::uint32_t>(picture.width) * 3 + 3) / 4 * 4;
  const std::uint32_t imageSize = stride * static_cast<std::uint32_t>(picture.height);
  const std::uint32_t offset = kFileHeaderSize + kInfoHeaderSize;
  std::string out;
  out.reserve(offset + imageSize);
  out += "BM";
  PutU32(out, offset + imageSize);
  PutU32(out, 0);
  PutU32(out, offset);
  PutU32(out, kInfoHeaderSize);
  PutU32(out, static_cast<std::uint32_t>(picture.width));
  PutU32(out, static_cast<std::uint32_t>(picture.height));  // positive: bottom-up
  PutU16(out, 1);                                            // planes
  PutU16(out, 24);
  PutU32(out, kBiRgb);
  PutU32(out, imageSize);
  PutU32(out, 2835);  // 72 dots per inch, in dots per metre
  PutU32(out, 2835);
  PutU32(out, 0);
  PutU32(out, 0);
  std::string row(stride, '\0');
  for (int y = picture.height - 1; y >= 0; --y) {
    for (int x = 0; x < picture.width; ++x) {
      const std::uint32_t c = picture.At(x, y);
      row[3 * x] = static_cast<char>(c & 0xFF);
      row[3 * x + 1] = static_cast<char>((c >> 8) & 0xFF);
      row[3 * x + 2] = static_cast<char>((c >> 16) & 0xFF);
    }
    out += row;
  }
  return out;
}
