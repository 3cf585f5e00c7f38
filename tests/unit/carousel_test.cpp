#include "desktop/carousel.h"

#include <gtest/gtest.h>

#include "desktop/bmp.h"
#include "desktop/compose.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_files.h"
#include "fakes/fake_picture_decoder.h"
#include "fakes/fake_picture_files.h"
#include "fakes/fake_registry.h"
#include "fakes/fake_wallpaper_screen.h"
#include "log/activity_log.h"
#include "settings/settings.h"

namespace {

const std::string kProgram = "C:\\网吧收银\\";
const std::string kComposed = kProgram + "Wallpaper.bmp";
const std::string kBg = "D:\\背景\\";
const std::string kTop = "D:\\网吧LOGO\\";

// An opaque one-colour picture as a 24-bit BMP file.
std::string BmpOf(int width, int height, std::uint32_t colour) {
  return WriteBmp(FilledPicture(width, height, colour));
}

struct CarouselFixture : ::testing::Test {
  FakePictureFiles files;
  FakePictureDecoder decoder;
  FakeWallpaperScreen screen;
  FakeRegistry registry;
  FakeFiles logFiles;
  FakeClock clock;
  ActivityLog log{logFiles, clock};
  WallpaperCarousel carousel{files, decoder, screen, registry, log};

  CarouselFixture() {
    logFiles.folders.insert(kProgram + "LOGS\\");
    log.SetSwitch(true, kProgram);
    carousel.SetProgramFolder(kProgram);
    files.AddFolder(kProgram);
  }

  std::vector<std::string> LogLines(const std::string& needle = "") {
    std::vector<std::string> lines;
    const std::string& text = logFiles.files[kProgram + "LOGS\\2024-03-07.TXT"];
    std::size_t at = 0;
    while (at < text.size()) {
      std::size_t end = text.find("\r\n", at);
      std::string line = text.substr(at, end - at).substr(23);  // timestamp cut off
      if (line.find(needle) != std::string::npos) lines.push_back(line);
      at = end + 2;
    }
    return lines;
  }

  // The composed wallpaper as written.
  Picture Composed() {
    Picture p;
    std::string error;
    EXPECT_TRUE(ReadBmp(files.written[kComposed], p, error)) << error;
    return p;
  }

  void AddFolderOfColours(const std::string& folder, const std::vector<std::uint32_t>& colours,
                          int width, int height) {
    files.AddFolder(folder);
    for (std::size_t i = 0; i < colours.size(); ++i) {
      // Alternately BMP (read by our code) and a compressed format (decoded by
      // the platform codec).
      files.AddFile(folder + std::to_string(i) + (i % 2 ? ".png" : ".bmp"),
                    i % 2 ? FakePictureDecoder::Encode(width, height, colours[i])
                          : BmpOf(width, height, colours[i]));
    }
  }
};

TEST_F(CarouselFixture, FindPicturesTakesTheFourExtensionsOfThisFolderOnlyInListingOrder) {
  files.AddFolder(kBg);
  const std::pair<const char*, int> names[] = {
      {"a.jpeg", 10}, {"b.JPG", 11}, {"相册.jpg", 12}, {"c.Gif", 13}, {"d.bMp", 14},
      {"e.png", 15},  {"f.txt", 16}, {"g.JPG.bak", 17}, {"noext", 18}, {"h.", 19},
      {".png", 20},  {"i.PNG ", 21},
  };
  for (const auto& [name, size] : names) files.AddFile(kBg + name, std::string(size, 'x'));
  files.AddSubFolder(kBg + "sub.jpg");
  files.AddFile(kBg + "sub.jpg\\deeper.jpg", "x");

  std::vector<std::string> list = {"kept"};
  // The folder without its backslash gets one.
  const std::int64_t total = FindPictures(files, "D:\\背景", list);
  EXPECT_EQ(list, (std::vector<std::string>{"kept", kBg + "b.JPG", kBg + "相册.jpg", kBg + "c.Gif",
                                            kBg + "d.bMp", kBg + "e.png", kBg + ".png"}));
  EXPECT_EQ(total, 11 + 12 + 13 + 14 + 15 + 20);
}

TEST_F(CarouselFixture, FirstTickLoadingRunsTheCarouselOnlyWithPictures) {
  struct Case {
    bool bgFolder, topFolder;
    int bgPictures, topPictures;
    bool runs;
    std::vector<std::string> lines;
  } cases[] = {
      {false, false, 0, 0, false, {}},
      {true, true, 0, 0, false, {"Load bgPicList=0", "Load topPicList=0"}},
      {true, false, 3, 0, true, {"Load bgPicList=3"}},
      {false, true, 0, 2, true, {"Load topPicList=2"}},
      {true, true, 3, 2, true, {"Load bgPicList=3", "Load topPicList=2"}},
  };
  int n = 0;
  for (const Case& c : cases) {
    FakePictureFiles folders;
    WallpaperCarousel fresh{folders, decoder, screen, registry, log};
    const std::string bg = "E:\\bg" + std::to_string(n) + "\\";
    const std::string top = "E:\\top" + std::to_string(n++) + "\\";
    if (c.bgFolder) folders.AddFolder(bg);
    if (c.topFolder) folders.AddFolder(top);
    for (int i = 0; i < c.bgPictures; ++i) folders.AddFile(bg + std::to_string(i) + ".jpg", "x");
    for (int i = 0; i < c.topPictures; ++i) folders.AddFile(top + std::to_string(i) + ".png", "x");
    const std::size_t before = LogLines("Load ").size();

    EXPECT_EQ(fresh.LoadPictureLists(bg, top), c.runs) << n;
    EXPECT_EQ(fresh.testButtonEnabled, c.runs) << n;
    const std::vector<std::string> lines = LogLines("Load ");
    EXPECT_EQ(std::vector<std::string>(lines.begin() + before, lines.end()), c.lines) << n;
  }
}

TEST_F(CarouselFixture, BackgroundsAloneBecomeTheWallpaperInTurn) {
  AddFolderOfColours(kBg, {0xFF110000, 0xFF220000, 0xFF330000}, 8, 8);
  ASSERT_TRUE(carousel.LoadPictureLists(kBg, ""));
  screen.tickStep = 7;
  for (int step = 0; step < 4; ++step) carousel.btn_picTestClick();

  EXPECT_EQ(screen.wallpapers, (std::vector<std::string>{kBg + "0.bmp", kBg + "1.png",
                                                         kBg + "2.bmp", kBg + "0.bmp"}));
  EXPECT_TRUE(files.written.empty());  // nothing composed
  EXPECT_EQ(decoder.calls, 0);         // Windows lays the file out itself
  EXPECT_TRUE(carousel.styleBoxEnabled);
  EXPECT_EQ(LogLines("Mode=").front(), "Mode=2,topPicIndex=1,bgPicIndex=1,SetDeskWallPaper=1,Timer=7");
  // The empty upper list's index wraps to 0 and is counted on all the same.
  EXPECT_EQ(LogLines("Mode=").back(), "Mode=2,topPicIndex=1,bgPicIndex=1,SetDeskWallPaper=1,Timer=7");

  // A file that went since the search: Windows refuses it and 0 is logged.
  screen.result = 0;
  carousel.btn_picTestClick();
  EXPECT_EQ(LogLines("Mode=").back(), "Mode=2,topPicIndex=1,bgPicIndex=2,SetDeskWallPaper=0,Timer=7");
}

TEST_F(CarouselFixture, BothLayersComposeEveryPairingAsTheIndexesDrift) {
  const std::vector<std::uint32_t> bgColours = {0xFF100000, 0xFF200000, 0xFF300000};
  const std::vector<std::uint32_t> topColours = {0xFF000001, 0xFF000002};
  AddFolderOfColours(kBg, bgColours, 16, 9);
  AddFolderOfColours(kTop, topColours, 400, 300);
  ASSERT_TRUE(carousel.LoadPictureLists(kBg, kTop));
  carousel.topPos = kUpperRight;

  const std::pair<int, int> pairs[] = {{0, 0}, {1, 1}, {2, 0}, {0, 1}, {1, 0}, {2, 1}, {0, 0}};
  for (const auto& [bg, top] : pairs) {
    files.written.clear();
    carousel.btn_picTestClick();
    const Picture wallpaper = Composed();
    ASSERT_EQ(wallpaper.width, 1920);
    ASSERT_EQ(wallpaper.height, 1080);
    // The background everywhere the upper picture is not; the upper picture
    // exactly in its rectangle at (1368, 390), 400 x 300.
    EXPECT_EQ(wallpaper.At(0, 0), bgColours[bg]);
    EXPECT_EQ(wallpaper.At(1367, 500), bgColours[bg]);
    EXPECT_EQ(wallpaper.At(1368, 390), topColours[top]);
    EXPECT_EQ(wallpaper.At(1767, 689), topColours[top]);
    EXPECT_EQ(wallpaper.At(1768, 689), bgColours[bg]);
    EXPECT_EQ(wallpaper.At(1500, 690), bgColours[bg]);
    EXPECT_FALSE(carousel.styleBoxEnabled);
  }
  EXPECT_EQ(screen.wallpapers, std::vector<std::string>(7, kComposed));
  EXPECT_EQ(LogLines("Mode=")[2], "Mode=3,topPicIndex=1,bgPicIndex=3,SetDeskWallPaper=1,Timer=0");
}

TEST_F(CarouselFixture, UpperPicturesAloneAreDrawnOverWhateverTheWallpaperIsNow) {
  files.AddFolder("C:\\Windows\\");
  files.AddFile("C:\\Windows\\desk.bmp", BmpOf(4, 4, 0xFF00AA00));
  registry.Set(RegistryRoot::CurrentUser, kDesktopKeyPath, "Wallpaper",
               std::string("C:\\Windows\\desk.bmp"));
  files.AddFolder(kTop);
  files.AddFile(kTop + "big.png", FakePictureDecoder::Encode(400, 300, 0xFFFF0000));
  files.AddFile(kTop + "small.bmp", BmpOf(100, 100, 0xFF0000FF));
  ASSERT_TRUE(carousel.LoadPictureLists("", kTop));

  carousel.btn_picTestClick();
  Picture wallpaper = Composed();
  EXPECT_EQ(wallpaper.At(0, 0), 0xFF00AA00u);
  EXPECT_EQ(wallpaper.At(960, 540), 0xFFFF0000u);
  EXPECT_EQ(LogLines("Mode=").back(), "Mode=1,topPicIndex=1,bgPicIndex=1,SetDeskWallPaper=1,Timer=0");

  // Windows now shows our own file: the next picture goes over the last
  // composition, which stays visible around it.
  registry.Set(RegistryRoot::CurrentUser, kDesktopKeyPath, "Wallpaper", kComposed);
  carousel.btn_picTestClick();
  wallpaper = Composed();
  EXPECT_EQ(wallpaper.At(960, 540), 0xFF0000FFu);
  EXPECT_EQ(wallpaper.At(760, 390), 0xFFFF0000u);
  EXPECT_EQ(wallpaper.At(0, 0), 0xFF00AA00u);

  // No wallpaper value: drawn on the desktop colour.
  registry.Set(RegistryRoot::CurrentUser, kDesktopKeyPath, "Wallpaper", std::string());
  carousel.btn_picTestClick();
  EXPECT_EQ(Composed().At(0, 0), screen.colour);
}

TEST_F(CarouselFixture, NoPicturesMeansNoWallpaperCall) {
  carousel.bgPicIndex = 5;
  carousel.btn_picTestClick();
  EXPECT_TRUE(screen.wallpapers.empty());
  EXPECT_TRUE(files.written.empty());
  EXPECT_EQ(LogLines("Mode=").back(), "Mode=0,topPicIndex=1,bgPicIndex=1,SetDeskWallPaper=-1,Timer=0");
}

TEST_F(CarouselFixture, APositionOutsideTheListDrawsNoUpperPicture) {
  AddFolderOfColours(kBg, {0xFF101010}, 4, 4);
  AddFolderOfColours(kTop, {0xFFEEEEEE}, 400, 300);
  ASSERT_TRUE(carousel.LoadPictureLists(kBg, kTop));
  for (int position : {5, -1, 3}) {
    carousel.topPos = position;
    carousel.btn_picTestClick();
    EXPECT_EQ(Composed().At(960, 540), 0xFF101010u) << position;
  }
}

TEST_F(CarouselFixture, AnUnusablePictureIsLoggedAndLeftOutAndTheStepGoesOn) {
  std::string huge = BmpOf(2, 2, 0xFF000000);
  huge[18] = 0x30, huge[19] = 0x75, huge[22] = 0x30, huge[23] = 0x75;  // 30000 x 30000
  const std::string good = BmpOf(400, 300, 0xFFEE0000);
  struct Case {
    const char* what;
    std::string bytes;
    bool locked;
    const char* line;  // the failure line's start; nullptr: no line
  } cases[] = {
      {"text", "not a picture at all", false, "#ComposeWallpaper:2 / 2291674960 not a picture WIC knows "},
      {"empty", "", false, "#ComposeWallpaper:2 / 2291674960 not a picture WIC knows "},
      {"BMP header only", good.substr(0, 60), false, "#ComposeWallpaper:2 / 0 BMP cut short "},
      {"30000 x 30000", huge, false, "#ComposeWallpaper:2 / 0 picture too large "},
      {"locked", good, true, "#ComposeWallpaper:2 / 32 The process cannot access the file"},
      {"gone", "", false, nullptr},
  };
  files.AddFolder(kBg);
  files.AddFile(kBg + "bg.bmp", BmpOf(4, 4, 0xFF123456));
  carousel.bgPicList = {kBg + "bg.bmp"};
  for (const Case& c : cases) {
    const std::string path = kTop + c.what + ".bmp";
    if (c.line) files.AddFile(path, c.bytes);
    if (c.locked) files.locked.insert(path);
    carousel.topPicList = {path};
    files.written.clear();
    const std::size_t before = LogLines("#ComposeWallpaper").size();

    carousel.btn_picTestClick();
    // The background is still composed and set.
    EXPECT_EQ(Composed().At(960, 540), 0xFF123456u) << c.what;
    EXPECT_EQ(LogLines("Mode=").back(), "Mode=3,topPicIndex=1,bgPicIndex=1,SetDeskWallPaper=1,Timer=0")
        << c.what;
    const std::vector<std::string> failures = LogLines("#ComposeWallpaper");
    if (c.line) {
      ASSERT_EQ(failures.size(), before + 1) << c.what;
      EXPECT_EQ(failures.back().rfind(c.line, 0), 0u) << failures.back();
      EXPECT_NE(failures.back().find(path), std::string::npos) << c.what;
    } else {
      EXPECT_EQ(failures.size(), before) << c.what;
    }
  }

  // An unusable background: the upper picture over the desktop colour.
  files.AddFile(kBg + "bad.bmp", "BM garbage");
  files.AddFile(kTop + "ok.bmp", good);
  carousel.bgPicList = {kBg + "bad.bmp"};
  carousel.topPicList = {kTop + "ok.bmp"};
  carousel.btn_picTestClick();
  EXPECT_EQ(Composed().At(0, 0), screen.colour);
  EXPECT_EQ(Composed().At(960, 540), 0xFFEE0000u);
  EXPECT_EQ(LogLines("#ComposeWallpaper").back().rfind("#ComposeWallpaper:1 / 0 ", 0), 0u);
}

TEST_F(CarouselFixture, AWallpaperFileThatCannotBeWrittenIsNotSet) {
  AddFolderOfColours(kBg, {0xFF101010}, 4, 4);
  AddFolderOfColours(kTop, {0xFFEEEEEE}, 40, 30);
  ASSERT_TRUE(carousel.LoadPictureLists(kBg, kTop));
  files.failWrites = true;
  carousel.btn_picTestClick();
  EXPECT_TRUE(screen.wallpapers.empty());
  EXPECT_EQ(LogLines("#ComposeWallpaper").back(),
            "#ComposeWallpaper:3 / 5 Access is denied. " + kComposed);
  EXPECT_EQ(LogLines("Mode=").back(), "Mode=3,topPicIndex=1,bgPicIndex=1,SetDeskWallPaper=-1,Timer=0");

  files.failWrites = false;
  carousel.btn_picTestClick();
  EXPECT_EQ(screen.wallpapers, std::vector<std::string>{kComposed});
}

TEST_F(CarouselFixture, MemoryRunningOutEndsTheStepWithItsLineAndTheNextStepWorks) {
  AddFolderOfColours(kBg, {0xFF101010}, 4, 4);
  AddFolderOfColours(kTop, {0xFFEEEEEE}, 40, 30);
  ASSERT_TRUE(carousel.LoadPictureLists(kBg, kTop));
  files.outOfMemory = true;
  carousel.btn_picTestClick();
  EXPECT_EQ(LogLines("#ComposeWallpaper"),
            (std::vector<std::string>{"#ComposeWallpaper:1 / 0 out of memory " + kBg + "0.bmp",
                                      "#ComposeWallpaper:2 / 0 out of memory " + kTop + "0.bmp",
                                      "#ComposeWallpaper:3 / 0 out of memory " + kComposed}));
  EXPECT_EQ(LogLines("Mode=").back(), "Mode=3,topPicIndex=1,bgPicIndex=1,SetDeskWallPaper=-1,Timer=0");
  EXPECT_TRUE(screen.wallpapers.empty());

  files.outOfMemory = false;
  carousel.btn_picTestClick();
  EXPECT_EQ(screen.wallpapers, std::vector<std::string>{kComposed});
}

}  // namespace
