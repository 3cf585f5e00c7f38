#include "desktop/bmp.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

namespace {

std::string ReadFixture(const std::string& name) {
  std::ifstream in(std::string(TOLLIMER_TEST_DATA) + "/pictures/" + name, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// A binary PPM (P6, depth 255) as opaque pixels.
Picture ParsePpm(const std::string& bytes) {
  std::istringstream in(bytes);
  std::string magic;
  int maxValue = 0;
  Picture p;
  in >> magic >> p.width >> p.height >> maxValue;
  in.get();
  for (int i = 0; i < p.width * p.height; ++i) {
    const std::uint32_t r = static_cast<std::uint8_t>(in.get());
    const std::uint32_t g = static_cast<std::uint8_t>(in.get());
    const std::uint32_t b = static_cast<std::uint8_t>(in.get());
    p.pixels.push_back(kOpaque | r << 16 | g << 8 | b);
  }
  return p;
}

int ChannelDistance(std::uint32_t a, std::uint32_t b) {
  int most = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    most = std::max(most, std::abs(static_cast<int>((a >> shift) & 0xFF) -
                                   static_cast<int>((b >> shift) & 0xFF)));
  }
  return most;
}

TEST(ReadBmp, AgreesWithImageMagickOnEveryCommonKind) {
  struct Case {
    const char* name;
    int tolerance;  // widening 5 or 6 bits to 8 may round either way
  } cases[] = {{"rgb24", 0},  {"argb32", 0}, {"pal8", 0},   {"pal8raw", 0}, {"pal4", 0},
               {"mono1", 0},  {"os2", 0},    {"rgb565", 1}, {"rgb555", 1}};
  for (const Case& c : cases) {
    const Picture expected = ParsePpm(ReadFixture(std::string(c.name) + ".ppm"));
    ASSERT_GT(expected.width, 0) << c.name;
    Picture got;
    std::string error;
    ASSERT_TRUE(ReadBmp(ReadFixture(std::string(c.name) + ".bmp"), got, error)) << c.name << error;
    ASSERT_EQ(got.width, expected.width) << c.name;
    ASSERT_EQ(got.height, expected.height) << c.name;
    for (std::size_t i = 0; i < got.pixels.size(); ++i) {
      EXPECT_LE(ChannelDistance(got.pixels[i], expected.pixels[i]), c.tolerance)
          << c.name << " pixel " << i << std::hex << " got " << got.pixels[i] << " want "
          << expected.pixels[i];
    }
  }
}

// The rows of a bottom-up file reversed and its height made negative.
std::string TopDown(const std::string& bottomUp, int stride, int height) {
  std::string out = bottomUp.substr(0, 54);
  const std::int32_t negative = -height;
  std::memcpy(&out[22], &negative, 4);
  for (int row = height - 1; row >= 0; --row) out += bottomUp.substr(54 + row * stride, stride);
  return out;
}

TEST(ReadBmp, TopDownFilesComeOutTheSameWayUp) {
  const std::string file = ReadFixture("rgb24.bmp");  // 5 x 4, rows of 16 bytes
  Picture bottomUp, topDown;
  std::string error;
  ASSERT_TRUE(ReadBmp(file, bottomUp, error));
  ASSERT_TRUE(ReadBmp(TopDown(file, 16, 4), topDown, error)) << error;
  EXPECT_EQ(topDown.pixels, bottomUp.pixels);
}

TEST(ReadBmp, RefusesWhatItCannotReadWithoutTouchingPixelMemory) {
  const std::string good = ReadFixture("rgb24.bmp");
  auto with = [&](std::size_t at, std::initializer_list<std::uint8_t> bytes) {
    std::string b = good;
    for (std::uint8_t v : bytes) b[at++] = static_cast<char>(v);
    return b;
  };
  struct Case {
    const char* what;
    std::string bytes;
    const char* error;
  } cases[] = {
      {"empty", "", "not a BMP file"},
      {"a PNG", "\x89PNG\r\n\x1a\n0000000000000000", "not a BMP file"},
      {"30000 x 30000", with(18, {0x30, 0x75, 0, 0, 0x30, 0x75, 0, 0}), "picture too large"},
      {"20000 wide", with(18, {0x20, 0x4E, 0, 0}), "picture too large"},
      {"height -2^31", with(22, {0, 0, 0, 0x80}), "picture too large"},
      {"zero width", with(18, {0, 0, 0, 0}), "BMP without pixels"},
      {"RLE on 24 bits", with(30, {1}), "compressed BMP not supported"},
      {"JPEG inside", with(30, {4}), "compressed BMP not supported"},
      {"12 bits", with(28, {12}), "unsupported BMP bit count"},
      {"header size 9", with(14, {9}), "unknown BMP header"},
      {"data offset past the end", with(10, {0xFF, 0xFF, 0, 0}), "BMP cut short"},
  };
  for (const Case& c : cases) {
    Picture out;
    out.width = 7;  // whatever was there before goes
    std::string error;
    EXPECT_FALSE(ReadBmp(c.bytes, out, error)) << c.what;
    EXPECT_EQ(error, c.error) << c.what;
    EXPECT_EQ(out.width, 0) << c.what;
    EXPECT_TRUE(out.pixels.empty()) << c.what;
  }
}

TEST(ReadBmp, EveryCutShortCopyFails) {
  struct Case {
    const char* name;
    std::size_t spare;  // trailing bytes whose loss leaves every pixel in place
  } cases[] = {{"rgb24.bmp", 0}, {"argb32.bmp", 0}, {"pal8raw.bmp", 0}, {"mono1.bmp", 0},
               {"os2.bmp", 0},
               // Run-length coded: the end-of-picture mark after the last row.
               {"pal8.bmp", 2}};
  for (const auto& [name, spare] : cases) {
    const std::string file = ReadFixture(name);
    for (std::size_t size = 0; size + spare < file.size(); ++size) {
      Picture out;
      std::string error;
      EXPECT_FALSE(ReadBmp(std::string_view(file).substr(0, size), out, error))
          << name << " cut to " << size;
    }
  }
}

// An 8-bit run-length coded BMP of `width` x `height` with a grey palette
// entry 1, and `data` as its pixel data.
std::string Rle8Bmp(int width, int height, const std::string& data) {
  std::string file = "BM" + std::string(12, '\0');
  auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<char>(v >> (8 * i));
  };
  file += std::string(40, '\0');
  put32(10, 14 + 40 + 2 * 4);
  put32(14, 40);
  put32(18, static_cast<std::uint32_t>(width));
  put32(22, static_cast<std::uint32_t>(height));
  file[26] = 1;   // planes
  file[28] = 8;   // bits
  file[30] = 1;   // RLE8
  put32(46, 2);   // two palette entries
  file += std::string("\0\0\0\0\x80\x80\x80\0", 8);
  put32(2, static_cast<std::uint32_t>(file.size() + data.size()));
  return file + data;
}

TEST(ReadBmp, RunLengthDataMustStayInsideItsRowAndThePicture) {
  struct Case {
    const char* what;
    std::string data;  // pixel data of a 3 x 2 picture: rows padded to 4 pixels
    bool readable;
  } cases[] = {
      {"two full rows", std::string("\x04\x01\x00\x00\x04\x01\x00\x01", 8), true},
      {"a run to the row's end, a move up one row", std::string("\x04\x01\x00\x02\x00\x01\x00\x01", 8), true},
      {"runs into the rows' padding", std::string("\x04\x01\x00\x00\x02\x01\x02\x01\x00\x01", 10), true},
      {"a run one pixel past its row's padding", std::string("\x05\x01\x00\x01", 4), false},
      {"a literal run past its row", std::string("\x00\x05\x01\x01\x01\x01\x01\x00\x00\x01", 10), false},
      {"a move right past the row", std::string("\x02\x01\x00\x02\x03\x00\x00\x01", 8), false},
      {"a move up past the picture", std::string("\x00\x02\x00\x03\x00\x01", 6), false},
      {"runs of 255 on a narrow row", std::string("\xff\x01\xff\x01\x00\x01", 6), false},
  };
  for (const Case& c : cases) {
    Picture out;
    std::string error;
    EXPECT_EQ(ReadBmp(Rle8Bmp(3, 2, c.data), out, error), c.readable) << c.what << ": " << error;
    if (!c.readable) {
      EXPECT_EQ(error, "run-length data outside the picture") << c.what;
      EXPECT_TRUE(out.pixels.empty()) << c.what;
    }
  }
}

// Runs of 255 pixels on a 64-pixel row, 16 MB of them: enough to walk a
// column counter past two billion. Refused at the first run.
TEST(ReadBmp, SixteenMegabytesOfRunsOnOneShortRowAreRefused) {
  std::string data;
  data.reserve(8421515 * 2 + 2);
  for (int i = 0; i < 8421515; ++i) data += "\xff\x01";
  data += std::string("\x00\x01", 2);
  Picture out;
  std::string error;
  EXPECT_FALSE(ReadBmp(Rle8Bmp(64, 1, data), out, error));
  EXPECT_EQ(error, "run-length data outside the picture");
  EXPECT_TRUE(out.pixels.empty());
}

// A 16-bit bit-field BMP of one pixel with the given masks and pixel value.
std::string BitfieldPixel(std::uint32_t red, std::uint32_t green, std::uint32_t blue, std::uint16_t pixel) {
  std::string file = "BM" + std::string(52 + 12, '\0');
  auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<char>(v >> (8 * i));
  };
  put32(10, 14 + 40 + 12);
  put32(14, 40);
  put32(18, 1);
  put32(22, 1);
  file[26] = 1;
  file[28] = 16;
  file[30] = 3;  // bit fields
  put32(54, red);
  put32(58, green);
  put32(62, blue);
  file += static_cast<char>(pixel & 0xFF);
  file += static_cast<char>(pixel >> 8);
  file += std::string(2, '\0');
  put32(2, static_cast<std::uint32_t>(file.size()));
  return file;
}

TEST(ReadBmp, EveryBitFieldChannelStaysWithinItsEightBits) {
  struct Case {
    const char* what;
    std::uint32_t red, green, blue;
    std::uint16_t pixel;
    std::uint32_t colour;
  } cases[] = {
      {"5-6-5 white", 0xF800, 0x07E0, 0x001F, 0xFFFF, 0xFFFFFFFF},
      {"5-5-5 pure green", 0x7C00, 0x03E0, 0x001F, 0x03E0, 0xFF00FF00},
      // Masks with holes: a channel scales over its mask's span (blue bits
      // 0-3 without bit 2; red bits 8-15 with only 8, 14 and 15), so it stays
      // within 255 and the other channels stay black.
      {"blue mask with a hole", 0xF000, 0x0F00, 0x000B, 0x000B, 0xFF0000BB},
      {"red mask with holes", 0xC100, 0x0030, 0x000F, 0xC100, 0xFFC10000},
  };
  for (const Case& c : cases) {
    Picture out;
    std::string error;
    ASSERT_TRUE(ReadBmp(BitfieldPixel(c.red, c.green, c.blue, c.pixel), out, error)) << c.what << error;
    EXPECT_EQ(out.pixels[0], c.colour) << c.what << std::hex << " got " << out.pixels[0];
  }
}

TEST(WriteBmp, WritesA24BitBottomUpFileWithPaddedRows) {
  Picture p;
  p.width = 3;
  p.height = 2;
  p.pixels = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF,   // top row: red, green, blue
              0x80102030, 0xFFFFFFFF, 0x00000000};  // alpha is dropped
  const std::string file = WriteBmp(p);
  // 14 + 40 header bytes, then two rows of 9 bytes padded to 12.
  ASSERT_EQ(file.size(), 54u + 2 * 12);
  EXPECT_EQ(file.substr(0, 2), "BM");
  EXPECT_EQ(static_cast<std::uint8_t>(file[2]), 78);
  EXPECT_EQ(static_cast<std::uint8_t>(file[10]), 54);
  EXPECT_EQ(static_cast<std::uint8_t>(file[28]), 24);
  // The bottom row comes first, as B, G, R.
  EXPECT_EQ(file.substr(54, 12), std::string("\x30\x20\x10\xFF\xFF\xFF\x00\x00\x00\x00\x00\x00", 12));
  EXPECT_EQ(file.substr(66, 12), std::string("\x00\x00\xFF\x00\xFF\x00\xFF\x00\x00\x00\x00\x00", 12));

  Picture back;
  std::string error;
  ASSERT_TRUE(ReadBmp(file, back, error));
  EXPECT_EQ(back.pixels, (std::vector<std::uint32_t>{0xFFFF0000, 0xFF00FF00, 0xFF0000FF,
                                                      0xFF102030, 0xFFFFFFFF, 0xFF000000}));
}

}  // namespace
