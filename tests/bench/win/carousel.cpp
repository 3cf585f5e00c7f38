// Cost of the wallpaper carousel on the real platform (run it under Wine or on
// Windows): composing two pictures into "Wallpaper.bmp" and setting it, its
// parts (reading and decoding, composing, writing), the whole carousel step,
// and the picture search over a large folder. Prints figures.
//
//   carousel_bench.exe <background> <upper> <program folder\> <large folder\>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "desktop/bmp.h"
#include "desktop/carousel.h"
#include "desktop/compose.h"
#include "fakes/fake_files.h"
#include "log/activity_log.h"
#include "platform/picture_decoder.h"
#include "platform/picture_files.h"
#include "platform/platform_win.h"
#include "platform/registry.h"
#include "platform/wallpaper_screen.h"

namespace {

double NowMs() {
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Runs `work` `runs` times; prints the median and the fastest run.
void Measure(const char* what, int runs, const std::function<void()>& work) {
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    const double start = NowMs();
    work();
    ms.push_back(NowMs() - start);
  }
  std::sort(ms.begin(), ms.end());
  std::printf("%-52s median %8.1f ms   fastest %8.1f ms   (%d runs)\n", what, ms[ms.size() / 2],
              ms.front(), runs);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: carousel_bench <background> <upper> <program folder\\> <large folder\\>\n");
    return 2;
  }
  const std::string background = argv[1], upper = argv[2], program = argv[3], large = argv[4];

  auto files = MakeWin32PictureFiles();
  auto decoder = MakeWicPictureDecoder();
  auto screen = MakeWin32WallpaperScreen();
  auto registry = MakeWin32Registry();
  Win32Clock clock;
  FakeFiles logFiles;  // the log stays off, as on a cashier PC without the marker
  ActivityLog log(logFiles, clock);
  WallpaperCarousel carousel(*files, *decoder, *screen, *registry, log);
  carousel.SetProgramFolder(program);
  const int width = screen->ScreenWidth(), height = screen->ScreenHeight();
  std::printf("primary screen %d x %d\n", width, height);

  constexpr int kRuns = 10;
  Picture bg, top;
  Measure("read + decode the background (WIC)", kRuns, [&] {
    std::string bytes;
    (void)files->ReadAll(background, 1u << 30, bytes);
    (void)decoder->Decode(bytes, bg);
  });
  Measure("read + decode the upper picture (WIC)", kRuns, [&] {
    std::string bytes;
    (void)files->ReadAll(upper, 1u << 30, bytes);
    (void)decoder->Decode(bytes, top);
  });
  std::printf("pictures: background %d x %d, upper %d x %d\n", bg.width, bg.height, top.width, top.height);
  Picture canvas;
  Measure("compose: fill, stretch background, draw upper", kRuns, [&] {
    canvas = FilledPicture(width, height, screen->DesktopColour());
    StretchOver(canvas, bg);
    Point origin;
    if (UpperPictureOrigin(kUpperCentre, width, height, top.width, top.height, origin)) {
      DrawAt(canvas, top, origin);
    }
  });
  Measure("encode + write Wallpaper.bmp", kRuns, [&] {
    (void)files->WriteAll(program + "Wallpaper.bmp", WriteBmp(canvas));
  });
  int result = 0;
  Measure("ComposeWallpaper (all of the above + set it)", kRuns,
          [&] { result = carousel.ComposeWallpaper(upper, background, kUpperCentre); });
  std::printf("ComposeWallpaper result %d\n", result);

  carousel.bgPicList = {background};
  carousel.topPicList = {upper};
  carousel.topPos = kUpperCentre;
  Measure("whole carousel step, both layers (mode 3)", kRuns, [&] { carousel.btn_picTestClick(); });
  carousel.topPicList.clear();
  Measure("whole carousel step, background only (mode 2)", kRuns, [&] { carousel.btn_picTestClick(); });

  std::vector<std::string> list;
  long long total = 0;
  Measure("FindPictures over the large folder", 5, [&] {
    list.clear();
    total = FindPictures(*files, large, list);
  });
  std::printf("large folder: %zu pictures, %lld bytes\n", list.size(), total);
  return 0;
}
