#include "desktop/carousel.h"

#include <new>

#include "desktop/bmp.h"
#include "desktop/compose.h"
#include "log/activity_log.h"
#include "platform/picture_decoder.h"
#include "platform/picture_files.h"
#include "platform/registry.h"
#include "platform/wallpaper_screen.h"
#include "settings/settings.h"
#include "util/text.h"

namespace {

// The largest file worth reading: a BMP of the largest allowed picture at 32
// bits, with room for its headers. Compressed formats are far smaller.
constexpr std::uint64_t kMaxPictureFileBytes = kMaxPicturePixels * 4 + (1 << 20);

// Contexts of the failure lines.
constexpr int kBaseLayer = 1;
constexpr int kUpperLayer = 2;
constexpr int kWallpaperFile = 3;

bool IsPictureName(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  const std::string extension = UpperAscii(name.substr(dot));
  return extension == ".JPG" || extension == ".GIF" || extension == ".BMP" || extension == ".PNG";
}

}  // namespace

std::int64_t FindPictures(PictureFiles& files, std::string folder, std::vector<std::string>& list) {
  if (folder.empty()) return 0;
  if (folder.back() != '\\') folder += '\\';
  std::int64_t total = 0;
  for (const FolderEntry& entry : files.List(folder + "*.*")) {
    if (entry.directory || !IsPictureName(entry.name)) continue;
    list.push_back(folder + entry.name);
    total += static_cast<std::int64_t>(entry.size);
  }
  return total;
}

bool WallpaperCarousel::LoadPictureLists(const std::string& bgFolder, const std::string& topFolder) {
  if (!bgFolder.empty() && files_.FolderExists(bgFolder)) {
    FindPictures(files_, bgFolder, bgPicList);
    log_.WriteLog(Format("Load bgPicList=%d", static_cast<int>(bgPicList.size())));
  }
  if (!topFolder.empty() && files_.FolderExists(topFolder)) {
    FindPictures(files_, topFolder, topPicList);
    log_.WriteLog(Format("Load topPicList=%d", static_cast<int>(topPicList.size())));
  }
  testButtonEnabled = !bgPicList.empty() || !topPicList.empty();
  return testButtonEnabled;
}

void WallpaperCarousel::btn_picTestClick() {
  const std::uint32_t started = screen_.TickCount();
  styleBoxEnabled = false;
  if (bgPicIndex < 0 || bgPicIndex >= static_cast<int>(bgPicList.size())) bgPicIndex = 0;
  if (topPicIndex < 0 || topPicIndex >= static_cast<int>(topPicList.size())) topPicIndex = 0;

  int mode = 0;
  int result = -1;  // no wallpaper call was made
  try {
    if (!topPicList.empty() && bgPicList.empty()) {
      mode = 1;
      const std::string current = registry_.ReadString(RegistryRoot::CurrentUser, kDesktopKeyPath,
                                                       "Wallpaper", "");
      result = ComposeWallpaper(topPicList[topPicIndex], current, topPos);
    } else if (topPicList.empty() && !bgPicList.empty()) {
      mode = 2;
      styleBoxEnabled = true;
      result = screen_.SetDeskWallpaper(bgPicList[bgPicIndex]);
    } else if (!topPicList.empty() && !bgPicList.empty()) {
      mode = 3;
      result = ComposeWallpaper(topPicList[topPicIndex], bgPicList[bgPicIndex], topPos);
    }
  } catch (const std::bad_alloc&) {
    // A screen-sized canvas and its file need about 14 MB; a 32-bit process
    // with fragmented memory may not have it. The next step tries again.
    LogFailure(kWallpaperFile, 0, "out of memory", programFolder_ + kComposedWallpaperFile);
  }
  ++bgPicIndex;
  ++topPicIndex;

  const std::uint32_t took = screen_.TickCount() - started;
  log_.WriteLog(Format("Mode=%d,topPicIndex=%d,bgPicIndex=%d,SetDeskWallPaper=%d,Timer=%d", mode,
                       topPicIndex, bgPicIndex, result, static_cast<int>(took)));
}

int WallpaperCarousel::ComposeWallpaper(const std::string& upperPath, const std::string& basePath,
                                        int position) {
  const int width = screen_.ScreenWidth();
  const int height = screen_.ScreenHeight();
  if (!PictureSizeAllowed(width, height)) {
    LogFailure(kWallpaperFile, 0, Format("screen size %dx%d", width, height), "");
    return -1;
  }
  Picture canvas = FilledPicture(width, height, screen_.DesktopColour());

  Picture picture;
  if (files_.FileExists(basePath) && LoadPicture(basePath, kBaseLayer, picture)) {
    StretchOver(canvas, picture);
  }
  Point origin;
  if (files_.FileExists(upperPath) && LoadPicture(upperPath, kUpperLayer, picture) &&
      UpperPictureOrigin(position, width, height, picture.width, picture.height, origin)) {
    DrawAt(canvas, picture, origin);
  }
  picture = Picture{};

  const std::string path = programFolder_ + kComposedWallpaperFile;
  const std::string bytes = WriteBmp(canvas);
  const FileResult written = files_.WriteAll(path, bytes);
  if (!written.ok) {
    LogFailure(kWallpaperFile, written.lastError, written.message, path);
    return -1;
  }
  // A file this small holds no picture; Windows would show garbage or nothing.
  if (bytes.size() <= 100) return -1;
  return screen_.SetDeskWallpaper(path);
}

bool WallpaperCarousel::LoadPicture(const std::string& path, int context, Picture& out) {
  try {
    std::string bytes;
    const FileResult read = files_.ReadAll(path, kMaxPictureFileBytes, bytes);
    if (!read.ok) {
      LogFailure(context, read.lastError, read.message, path);
      return false;
    }
    if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') {
      std::string error;
      if (!ReadBmp(bytes, out, error)) {
        LogFailure(context, 0, error, path);
        return false;
      }
      return true;
    }
    const FileResult decoded = decoder_.Decode(bytes, out);
    if (!decoded.ok) {
      LogFailure(context, decoded.lastError, decoded.message, path);
      return false;
    }
    return true;
  } catch (const std::bad_alloc&) {
    // Within the size limits, yet more than this process can get now.
    out = Picture{};
    LogFailure(context, 0, "out of memory", path);
    return false;
  }
}

void WallpaperCarousel::LogFailure(int context, unsigned long code, const std::string& what,
                                   const std::string& path) {
  log_.WriteLog(Format("#ComposeWallpaper:%d / %lu ", context, code) + what + " " + path);
}
