// The wallpaper carousel: turns the cashier PC's desktop into a small display
// by rotating the wallpaper through two picture folders, a background layer
// and an upper layer (the cafe's logo or price list) drawn over it. The watch
// cycle counts the interval and calls btn_picTestClick; the settings window's
// test button calls it too.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "desktop/picture.h"

class ActivityLog;
class PictureDecoder;
class PictureFiles;
class Registry;
class WallpaperScreen;

// The composed wallpaper, in the program folder.
inline constexpr const char* kComposedWallpaperFile = "Wallpaper.bmp";

// The folder's pictures appended to `list` as folder + name: files whose
// extension in upper case is exactly ".JPG", ".GIF", ".BMP" or ".PNG", in the
// order the folder listing gives them, whatever their attributes; sub-folders
// are not searched. A "\" is added to the folder when missing. Returns the
// total size of the pictures appended (bytes).
std::int64_t FindPictures(PictureFiles& files, std::string folder, std::vector<std::string>& list);

class WallpaperCarousel {
 public:
  WallpaperCarousel(PictureFiles& files, PictureDecoder& decoder, WallpaperScreen& screen,
                    Registry& registry, ActivityLog& log)
      : files_(files), decoder_(decoder), screen_(screen), registry_(registry), log_(log) {}

  // The program folder with its trailing backslash, where the composed
  // wallpaper is written.
  void SetProgramFolder(const std::string& folder) { programFolder_ = folder; }

  // Full picture paths in folder order, and the next index into each. The
  // indexes move together, so lists of different lengths drift against each
  // other and every pairing comes round.
  std::vector<std::string> bgPicList;
  std::vector<std::string> topPicList;
  int bgPicIndex = 0;
  int topPicIndex = 0;
  // Where the upper picture goes (UpperPosition); any other value draws none.
  int topPos = 1;
  // What the settings window's style list and test button show: the style
  // matters only when background pictures alone become the wallpaper, and
  // the test button only while there are pictures.
  bool styleBoxEnabled = true;
  bool testButtonEnabled = false;

  // The first watch tick's loading: each folder that exists is searched into
  // its list ("Load bgPicList=%d", "Load topPicList=%d"). Returns whether
  // either list holds a picture: the carousel runs only then.
  bool LoadPictureLists(const std::string& bgFolder, const std::string& topFolder);

  // One carousel step: the next pictures become the wallpaper, by one of four
  // modes (0 no pictures, 1 upper only over the current wallpaper, 2
  // background only, set directly, 3 both, composed), then one log line.
  void btn_picTestClick();

  // Composes the base picture stretched over the primary screen and the
  // upper picture at `position`, writes "Wallpaper.bmp" in the program folder
  // and makes it the wallpaper. -1 when the wallpaper was not set, else the
  // result of setting it. A layer whose file is missing or cannot be decoded
  // is left out (the latter with a log line).
  int ComposeWallpaper(const std::string& upperPath, const std::string& basePath, int position);

 private:
  // Reads and decodes one picture; false, with a log line naming the file and
  // the reason, when it cannot be used.
  bool LoadPicture(const std::string& path, int context, Picture& out);
  void LogFailure(int context, unsigned long code, const std::string& what, const std::string& path);

  PictureFiles& files_;
  PictureDecoder& decoder_;
  WallpaperScreen& screen_;
  Registry& registry_;
  ActivityLog& log_;
  std::string programFolder_;
};
