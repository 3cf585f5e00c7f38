// The WIC decoder and the carousel's files under Wine: JPEG, PNG and GIF to
// 32-bit pixels with their transparency, bad and oversized files refused,
// picture folders with Chinese names, hidden files and locked files.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "crypto/crc32.h"
#include "platform/picture_decoder.h"
#include "platform/picture_files.h"

namespace {

std::string Fixture(const std::string& name) {
  auto files = MakeWin32PictureFiles();
  std::string bytes;
  const FileResult read =
      files->ReadAll(std::string(TOLLIMER_TEST_DATA) + "/pictures/" + name, 1 << 20, bytes);
  EXPECT_TRUE(read.ok) << name << " " << read.message;
  return bytes;
}

int Distance(std::uint32_t a, std::uint32_t b) {
  int most = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    most = std::max(most, std::abs(static_cast<int>((a >> shift) & 0xFF) -
                                   static_cast<int>((b >> shift) & 0xFF)));
  }
  return most;
}

TEST(WicPictureDecoder, DecodesPngGifAndJpegWithTheirTransparency) {
  auto decoder = MakeWicPictureDecoder();
  struct Case {
    const char* file;
    int width, height;
    std::vector<std::pair<int, std::uint32_t>> pixels;  // index, 0xAARRGGBB
    int tolerance;
  } cases[] = {
      {"quad.png", 4, 2,
       {{0, 0xFFFF0000}, {1, 0xFF00FF00}, {2, 0xFF0000FF}, {3, 0xFFFFFFFF}, {4, 0xFF000000},
        {5, 0x80FFFF00}, {7, 0xFF0A141E}},
       0},
      {"quad.gif", 4, 2,
       {{0, 0xFFFF0000}, {1, 0xFF00FF00}, {2, 0xFF0000FF}, {5, 0xFFFFFF00}, {7, 0xFF0A141E}}, 0},
      // Lossy: the middle of each half is close to its colour.
      {"halves.jpg", 32, 16, {{8 * 32 + 4, 0xFFDC1E1E}, {8 * 32 + 28, 0xFF1E1EDC}}, 12},
  };
  for (const Case& c : cases) {
    Picture p;
    const FileResult r = decoder->Decode(Fixture(c.file), p);
    ASSERT_TRUE(r.ok) << c.file << " " << r.message << " " << r.lastError;
    ASSERT_EQ(p.width, c.width) << c.file;
    ASSERT_EQ(p.height, c.height) << c.file;
    for (const auto& [index, colour] : c.pixels) {
      EXPECT_LE(Distance(p.pixels[index], colour), c.tolerance)
          << c.file << " pixel " << index << std::hex << " " << p.pixels[index];
    }
  }
  // Transparent pixels: alpha 0, whatever colour they keep.
  Picture png, gif;
  ASSERT_TRUE(decoder->Decode(Fixture("quad.png"), png).ok);
  ASSERT_TRUE(decoder->Decode(Fixture("quad.gif"), gif).ok);
  EXPECT_EQ(png.pixels[6] >> 24, 0u);
  EXPECT_EQ(gif.pixels[6] >> 24, 0u);
}

void PutBigEndian16(std::string& b, std::size_t at, unsigned v) {
  b[at] = static_cast<char>(v >> 8);
  b[at + 1] = static_cast<char>(v & 0xFF);
}
void PutLittleEndian16(std::string& b, std::size_t at, unsigned v) {
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>(v >> 8);
}

// The file claiming 30000 x 30000 pixels, its data unchanged.
std::string HugePng() {
  std::string b = Fixture("quad.png");
  // IHDR data at 16: width and height as 32-bit big-endian, then its CRC.
  PutBigEndian16(b, 16, 0), PutBigEndian16(b, 18, 30000);
  PutBigEndian16(b, 20, 0), PutBigEndian16(b, 22, 30000);
  const std::uint32_t crc = Crc32(0, b.data() + 12, 17);
  for (int i = 0; i < 4; ++i) b[29 + i] = static_cast<char>(crc >> (24 - 8 * i));
  return b;
}
std::string HugeJpeg() {
  std::string b = Fixture("halves.jpg");
  // The start-of-frame segment: FF C0, length, precision, height, width.
  for (std::size_t at = 2; at + 9 < b.size(); ++at) {
    if (static_cast<std::uint8_t>(b[at]) == 0xFF && (static_cast<std::uint8_t>(b[at + 1]) & 0xF0) == 0xC0 &&
        static_cast<std::uint8_t>(b[at + 1]) != 0xC4) {
      PutBigEndian16(b, at + 5, 30000);
      PutBigEndian16(b, at + 7, 30000);
      break;
    }
  }
  return b;
}
std::string HugeGif() {
  std::string b = Fixture("quad.gif");
  PutLittleEndian16(b, 6, 30000);
  PutLittleEndian16(b, 8, 30000);
  std::size_t at = 13;
  if (static_cast<std::uint8_t>(b[10]) & 0x80) at += 3u << ((b[10] & 7) + 1);
  while (at < b.size() && b[at] == 0x21) {  // extensions: label, then sub-blocks
    at += 2;
    while (at < b.size() && b[at] != 0) at += 1 + static_cast<std::uint8_t>(b[at]);
    ++at;
  }
  if (at + 9 < b.size() && b[at] == 0x2C) {
    PutLittleEndian16(b, at + 5, 30000);
    PutLittleEndian16(b, at + 7, 30000);
  }
  return b;
}

TEST(WicPictureDecoder, RefusesBadAndOversizedFilesWithoutAllocatingTheirPixels) {
  auto decoder = MakeWicPictureDecoder();
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"empty", ""},
      {"text", "this is not a picture"},
      {"PNG signature only", Fixture("quad.png").substr(0, 8)},
      {"PNG 30000 x 30000", HugePng()},
      {"JPEG 30000 x 30000", HugeJpeg()},
      {"GIF 30000 x 30000", HugeGif()},
  };
  for (const Case& c : cases) {
    Picture p;
    const FileResult r = decoder->Decode(c.bytes, p);
    EXPECT_FALSE(r.ok) << c.what;
    EXPECT_TRUE(p.pixels.empty()) << c.what;
  }
  // Cut short anywhere: refused, or (a codec may fill the missing rest)
  // decoded at the announced size; never a crash.
  for (const char* name : {"quad.png", "quad.gif", "halves.jpg"}) {
    const std::string whole = Fixture(name);
    for (std::size_t size = 0; size < whole.size(); size += 7) {
      Picture p;
      if (decoder->Decode(whole.substr(0, size), p).ok) {
        EXPECT_EQ(p.pixels.size(), static_cast<std::size_t>(p.width) * p.height) << name << size;
      }
    }
  }
}

class ScratchFolder {
 public:
  ScratchFolder() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    path_ = std::string(temp) + "网吧图片轮播\\";
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~ScratchFolder() {
    for (const auto& name : made_) {
      SetFileAttributesA((path_ + name).c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileA((path_ + name).c_str());
    }
    RemoveDirectoryA((path_ + "子目录.jpg").c_str());
    RemoveDirectoryA(path_.c_str());
  }
  const std::string& Path() const { return path_; }
  void Remember(const std::string& name) { made_.push_back(name); }

 private:
  std::string path_;
  std::vector<std::string> made_;
};

TEST(Win32PictureFiles, ChineseNamesHiddenFilesAndLockedFiles) {
  auto files = MakeWin32PictureFiles();
  ScratchFolder folder;
  ASSERT_TRUE(files->FolderExists(folder.Path()));
  ASSERT_TRUE(files->FolderExists(folder.Path().substr(0, folder.Path().size() - 1)));

  for (const char* name : {"价格表.PNG", "隐藏.jpg"}) {
    folder.Remember(name);
    ASSERT_TRUE(files->WriteAll(folder.Path() + name, std::string("picture ") + name).ok) << name;
  }
  SetFileAttributesA((folder.Path() + "隐藏.jpg").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
  CreateDirectoryA((folder.Path() + "子目录.jpg").c_str(), nullptr);

  std::vector<std::string> names;
  for (const FolderEntry& e : files->List(folder.Path() + "*.*")) {
    names.push_back(e.name + (e.directory ? "\\" : "") + ":" + std::to_string(e.size));
  }
  std::vector<std::string> expected = {".\\:0", "..\\:0", "价格表.PNG:18", "子目录.jpg\\:0",
                                      "隐藏.jpg:16"};
  std::sort(names.begin(), names.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(names, expected);

  std::string bytes;
  ASSERT_TRUE(files->ReadAll(folder.Path() + "隐藏.jpg", 100, bytes).ok);
  EXPECT_EQ(bytes, "picture 隐藏.jpg");
  EXPECT_FALSE(files->ReadAll(folder.Path() + "隐藏.jpg", 15, bytes).ok);  // larger than allowed
  EXPECT_TRUE(bytes.empty());
  EXPECT_TRUE(files->FileExists(folder.Path() + "价格表.PNG"));
  EXPECT_FALSE(files->FileExists(folder.Path() + "子目录.jpg"));

  // Another program holds the file exclusively: the read fails with the
  // sharing violation and nothing waits.
  HANDLE held = CreateFileA((folder.Path() + "价格表.PNG").c_str(), GENERIC_READ, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const FileResult locked = files->ReadAll(folder.Path() + "价格表.PNG", 100, bytes);
  EXPECT_FALSE(locked.ok);
  EXPECT_EQ(locked.lastError, static_cast<unsigned long>(ERROR_SHARING_VIOLATION));
  const FileResult overwrite = files->WriteAll(folder.Path() + "价格表.PNG", "x");
  EXPECT_FALSE(overwrite.ok);
  CloseHandle(held);
}

}  // namespace
