// The persisted settings as one model: what LoadSettings reads from the
// registry at start-up, what the settings window shows (its list selections
// included), and what a save writes back.
#pragma once
#include <string>

class Registry;

// The Windows wallpaper settings under HKEY_CURRENT_USER, beside which the
// carousel keeps its interval and upper-layer position.
inline constexpr const char* kDesktopKeyPath = "Control Panel\\Desktop";

// The carousel interval list: item text and seconds.
struct IntervalEntry {
  const char* item;
  int seconds;
};
inline constexpr IntervalEntry kIntervalTable[] = {
    {"10秒", 10},      {"15秒", 15},      {"30秒", 30},       {"1分钟", 60},    {"3分钟", 180},
    {"5分钟", 300},    {"10分钟", 600},   {"15分钟", 900},    {"30分钟", 1800}, {"1小时", 3600},
    {"2小时", 7200},   {"3小时", 10800},  {"6小时", 21600},   {"1天", 86400},
};
inline constexpr int kMinCarouselInterval = 10;  // seconds

// The background style list: item text and the Windows wallpaper values.
struct StyleEntry {
  const char* item;
  int wallpaperStyle;      // "WallpaperStyle"
  const char* tileWallpaper;  // "TileWallpaper"
};
inline constexpr StyleEntry kStyleTable[] = {
    {"填充", 10, "0"}, {"适应", 6, "0"}, {"拉伸", 2, "0"}, {"平铺", 1, "1"}, {"居中", 0, "0"},
};

// The upper-layer position list; the stored value is the item index.
inline constexpr const char* kPositionItems[] = {"靠左", "居中", "靠右"};

inline constexpr int kNoSelection = -1;

struct SettingsModel {
  bool autorun = false;       // the autorun value names this executable
  int featureBits = 0;        // "ExpCofig"
  std::string bgPicPath;      // background folder, as typed
  std::string topPicPath;     // upper-layer folder, as typed
  int topPos = 1;             // upper-layer position; outside 0..2 draws none
  int interval = kMinCarouselInterval;  // carousel interval, seconds
  int styleCode = 2;          // "WallpaperStyle"

  // The settings window's list selections (kNoSelection: none).
  int topPosIndex = 1;
  int intervalIndex = 0;
  int styleIndex = 0;
};

// Index of the first interval entry of `seconds`, else kNoSelection.
int IntervalIndexOf(int seconds);
// Index of the first style entry with `code`; the list keeps its initial
// item (0, fill) when none matches.
int StyleIndexOf(int code);
// The position as a list index: itself when it names an item, else none.
int PositionIndexOf(int position);

// Reads every persisted setting in start-up order: the autorun value (for
// `exePath`), the feature bits, the two folders, the position, the interval
// (raised to 10 seconds) and the style, then selects the lists. A value of
// the wrong type is reported by the registry and reads as its default.
SettingsModel LoadSettings(Registry& registry, const std::string& exePath);

// The stored half of a save, from the window's state held in `model`
// (selections, folders, feature bits): the interval, the style and tile
// flag, the position, the feature bits, the folders and the bar id, in that
// order. The interval, position and style code of `model` follow the
// selections; with no interval selected the interval stays as it is. Write
// failures pass silently.
void SaveSettings(Registry& registry, SettingsModel& model, const std::string& barId);
