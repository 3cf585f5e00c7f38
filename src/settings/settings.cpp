#include "settings/settings.h"

#include <climits>
#include <cstdint>
#include <iterator>

#include "settings/autorun.h"
#include "platform/registry.h"
#include "settings/run_params.h"
#include "util/literal_table.h"
#include "util/text.h"

namespace {

constexpr RegistryRoot kUser = RegistryRoot::CurrentUser;

int DecimalOr(const std::string& text, int fallback) { return ParseDecimal(text).value_or(fallback); }

}  // namespace

int IntervalIndexOf(int seconds) {
  for (int i = 0; i < static_cast<int>(std::size(kIntervalTable)); ++i) {
    if (kIntervalTable[i].seconds == seconds) return i;
  }
  return kNoSelection;
}

int StyleIndexOf(int code) {
  for (int i = 0; i < static_cast<int>(std::size(kStyleTable)); ++i) {
    if (kStyleTable[i].wallpaperStyle == code) return i;
  }
  return 0;
}

int PositionIndexOf(int position) {
  return position >= 0 && position < static_cast<int>(std::size(kPositionItems)) ? position
                                                                                 : kNoSelection;
}

SettingsModel LoadSettings(Registry& registry, const std::string& exePath) {
  SettingsModel m;
  const std::string appKey = Literal(lit::kAppKeyPath);

  m.autorun = IsAutorunOn(registry, exePath);

  m.featureBits = ParseFeatureBits(registry.ReadString(kUser, appKey, "ExpCofig", "0"));
  m.bgPicPath = registry.ReadString(kUser, appKey, "BgWallpaperPath", "");
  m.topPicPath = registry.ReadString(kUser, appKey, "topWallpaperPath", "");
  m.topPos = DecimalOr(registry.ReadString(kUser, kDesktopKeyPath, "WallpaperPos", "1"), 1);

  // A number of seconds beyond what an int holds would turn negative and
  // step the carousel on every cycle; such a value is as good as the longest.
  const std::uint32_t interval = registry.ReadDWord(kUser, kDesktopKeyPath, "Interval");
  m.interval = interval < kMinCarouselInterval ? kMinCarouselInterval
               : interval > INT_MAX            ? INT_MAX
                                               : static_cast<int>(interval);
  m.styleCode = DecimalOr(registry.ReadString(kUser, kDesktopKeyPath, "WallpaperStyle", "2"), 2);

  m.topPosIndex = PositionIndexOf(m.topPos);
  m.intervalIndex = IntervalIndexOf(m.interval);
  m.styleIndex = StyleIndexOf(m.styleCode);
  return m;
}

void SaveSettings(Registry& registry, SettingsModel& m, const std::string& barId) {
  const std::string appKey = Literal(lit::kAppKeyPath);
  if (m.intervalIndex >= 0 && m.intervalIndex < static_cast<int>(std::size(kIntervalTable))) {
    m.interval = kIntervalTable[m.intervalIndex].seconds;
  }
  (void)registry.WriteDWord(kUser, kDesktopKeyPath, "Interval", static_cast<std::uint32_t>(m.interval));

  const int style = m.styleIndex >= 0 && m.styleIndex < static_cast<int>(std::size(kStyleTable))
                        ? m.styleIndex
                        : 0;
  m.styleCode = kStyleTable[style].wallpaperStyle;
  (void)registry.WriteString(kUser, kDesktopKeyPath, "WallpaperStyle", Format("%d", m.styleCode));
  (void)registry.WriteString(kUser, kDesktopKeyPath, "TileWallpaper", kStyleTable[style].tileWallpaper);

  m.topPos = m.topPosIndex;
  (void)registry.WriteString(kUser, kDesktopKeyPath, "WallpaperPos", Format("%d", m.topPos));
  (void)registry.WriteString(kUser, appKey, "ExpCofig", Format("%d", m.featureBits));
  (void)registry.WriteString(kUser, appKey, "bgWallpaperPath", m.bgPicPath);
  (void)registry.WriteString(kUser, appKey, "topWallpaperPath", m.topPicPath);
  (void)registry.WriteString(kUser, appKey, "BarID", barId);
}
