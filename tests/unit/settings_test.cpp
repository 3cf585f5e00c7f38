#include "settings/settings.h"

#include <gtest/gtest.h>

#include <climits>

#include "fakes/fake_registry.h"
#include "util/literal_table.h"

namespace {

constexpr RegistryRoot kUser = RegistryRoot::CurrentUser;
const char* const kExe = "C:\\网吧收银\\Tollimer.exe";

struct SettingsFixture : ::testing::Test {
  FakeRegistry registry;
  std::string appKey = Literal(lit::kAppKeyPath);

  void SetDesktop(const std::string& name, FakeRegistry::Value value) {
    registry.Set(kUser, kDesktopKeyPath, name, std::move(value));
  }
  void SetApp(const std::string& name, FakeRegistry::Value value) {
    registry.Set(kUser, appKey, name, std::move(value));
  }
  std::string DesktopText(const std::string& name) {
    const auto* v = registry.Get(kUser, kDesktopKeyPath, name);
    return v ? std::get<std::string>(*v) : "<absent>";
  }
};

TEST_F(SettingsFixture, NothingStoredGivesTheDefaultsAndTheirListItems) {
  const SettingsModel m = LoadSettings(registry, kExe);
  EXPECT_FALSE(m.autorun);
  EXPECT_EQ(m.featureBits, 0);
  EXPECT_EQ(m.bgPicPath, "");
  EXPECT_EQ(m.topPicPath, "");
  EXPECT_EQ(m.topPos, 1);
  EXPECT_STREQ(kPositionItems[m.topPosIndex], "居中");
  EXPECT_EQ(m.interval, 10);
  EXPECT_STREQ(kIntervalTable[m.intervalIndex].item, "10秒");
  EXPECT_EQ(m.styleCode, 2);
  EXPECT_STREQ(kStyleTable[m.styleIndex].item, "拉伸");  // not the list's initial 填充
  EXPECT_TRUE(registry.mismatches.empty());
}

TEST_F(SettingsFixture, IntervalIsRaisedToTenAndSelectsOnlyATableEntry) {
  struct Case {
    std::uint32_t stored;
    int interval;
    int index;
  } cases[] = {
      {0, 10, 0},       {5, 10, 0},         {9, 10, 0},   {10, 10, 0},     {20, 20, kNoSelection},
      {60, 60, 3},      {86400, 86400, 13}, {86401, 86401, kNoSelection},
      // Beyond an int: not a negative interval that steps every cycle.
      {0xFFFFFFFFu, INT_MAX, kNoSelection},
  };
  for (const Case& c : cases) {
    SetDesktop("Interval", c.stored);
    const SettingsModel m = LoadSettings(registry, kExe);
    EXPECT_EQ(m.interval, c.interval) << c.stored;
    EXPECT_EQ(m.intervalIndex, c.index) << c.stored;
  }
}

TEST_F(SettingsFixture, StyleAndPositionTextsAndTheirSelections) {
  struct Case {
    const char* style;
    int styleCode;
    const char* styleItem;
  } styles[] = {
      {"10", 10, "填充"}, {"6", 6, "适应"}, {"2", 2, "拉伸"}, {"1", 1, "平铺"},
      {"0", 0, "居中"},   {"22", 22, "填充"}, {"abc", 2, "拉伸"}, {"", 2, "拉伸"},
  };
  for (const Case& c : styles) {
    SetDesktop("WallpaperStyle", std::string(c.style));
    const SettingsModel m = LoadSettings(registry, kExe);
    EXPECT_EQ(m.styleCode, c.styleCode) << c.style;
    EXPECT_STREQ(kStyleTable[m.styleIndex].item, c.styleItem) << c.style;
  }

  struct PositionCase {
    const char* text;
    int position;
    int index;
  } positions[] = {
      {"0", 0, 0}, {"1", 1, 1}, {"2", 2, 2}, {"5", 5, kNoSelection},
      {"-1", -1, kNoSelection}, {"left", 1, 1}, {"", 1, 1},
  };
  for (const PositionCase& c : positions) {
    SetDesktop("WallpaperPos", std::string(c.text));
    const SettingsModel m = LoadSettings(registry, kExe);
    EXPECT_EQ(m.topPos, c.position) << c.text;
    EXPECT_EQ(m.topPosIndex, c.index) << c.text;
  }
}

TEST_F(SettingsFixture, FeatureBitsAndFoldersAreReadAsStored) {
  SetApp("ExpCofig", std::string("63"));
  // Saved under "bgWallpaperPath", read under "BgWallpaperPath": one value.
  SetApp("bgWallpaperPath", std::string("D:\\图片\\背景\\"));
  SetApp("topWallpaperPath", std::string("D:\\网吧LOGO"));
  SettingsModel m = LoadSettings(registry, kExe);
  EXPECT_EQ(m.featureBits, 63);
  EXPECT_EQ(m.bgPicPath, "D:\\图片\\背景\\");
  EXPECT_EQ(m.topPicPath, "D:\\网吧LOGO");

  for (const char* text : {"abc", "", "0x10", "16 "}) {
    SetApp("ExpCofig", std::string(text));
    EXPECT_EQ(LoadSettings(registry, kExe).featureBits, 0) << text;
  }
}

TEST_F(SettingsFixture, ValuesOfTheWrongTypeAreReportedInReadingOrderAndReadAsDefaults) {
  SetApp("ExpCofig", std::uint32_t{16});
  SetApp("BgWallpaperPath", std::uint32_t{1});
  SetApp("topWallpaperPath", std::uint32_t{1});
  SetDesktop("WallpaperPos", std::uint32_t{2});
  SetDesktop("Interval", std::string("60"));
  SetDesktop("WallpaperStyle", std::uint32_t{10});
  const SettingsModel m = LoadSettings(registry, kExe);

  EXPECT_EQ(m.featureBits, 0);
  EXPECT_EQ(m.bgPicPath, "");
  EXPECT_EQ(m.topPos, 1);
  EXPECT_EQ(m.interval, 10);
  EXPECT_EQ(m.styleCode, 2);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"ExpCofig Data type mismatch!", "注册表数据类型不匹配:String"},
      {"BgWallpaperPath Data type mismatch!", "注册表数据类型不匹配:String"},
      {"topWallpaperPath Data type mismatch!", "注册表数据类型不匹配:String"},
      {"WallpaperPos Data type mismatch!", "注册表数据类型不匹配:String"},
      {"Interval Data type mismatch!", "注册表数据类型不匹配:DWORD"},
      {"WallpaperStyle Data type mismatch!", "注册表数据类型不匹配:String"},
  };
  ASSERT_EQ(registry.mismatches.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(registry.mismatches[i].text, expected[i].first);
    EXPECT_EQ(registry.mismatches[i].caption, expected[i].second);
  }
}

TEST_F(SettingsFixture, AutorunIsOnOnlyForThisExecutablesPath) {
  const std::string runKey = Literal(lit::kAutorunKeyPath);
  const std::string value = Literal(lit::kAutorunValue);
  struct Case {
    std::string stored;
    bool on;
  } cases[] = {
      {kExe, true},
      {"c:\\网吧收银\\TOLLIMER.EXE", true},  // ASCII letters in another case
      {std::string(";") + kExe, false},      // switched off through the menu
      {"C:\\旧目录\\Tollimer.exe", false},   // moved since
      {"", false},
  };
  for (const Case& c : cases) {
    registry.Set(kUser, runKey, value, c.stored);
    EXPECT_EQ(LoadSettings(registry, kExe).autorun, c.on) << c.stored;
  }
}

TEST_F(SettingsFixture, SaveWritesTheSelectionsAndKeepsAnUnlistedInterval) {
  SetDesktop("Interval", std::uint32_t{20});
  SetDesktop("WallpaperStyle", std::string("22"));
  SetDesktop("WallpaperPos", std::string("5"));
  SettingsModel m = LoadSettings(registry, kExe);
  m.featureBits = 17;
  m.bgPicPath = "D:\\背景";
  SaveSettings(registry, m, "123456");

  EXPECT_EQ(std::get<std::uint32_t>(*registry.Get(kUser, kDesktopKeyPath, "Interval")), 20u);
  EXPECT_EQ(DesktopText("WallpaperStyle"), "10");  // the list stayed at 填充
  EXPECT_EQ(DesktopText("TileWallpaper"), "0");
  EXPECT_EQ(DesktopText("WallpaperPos"), "-1");    // no position was selected
  EXPECT_EQ(std::get<std::string>(*registry.Get(kUser, appKey, "ExpCofig")), "17");
  EXPECT_EQ(std::get<std::string>(*registry.Get(kUser, appKey, "BgWallpaperPath")), "D:\\背景");
  EXPECT_EQ(std::get<std::string>(*registry.Get(kUser, appKey, "BarID")), "123456");

  // What was saved reads back as the same choices.
  m.intervalIndex = 3;
  m.styleIndex = 3;
  m.topPosIndex = 2;
  SaveSettings(registry, m, "123456");
  EXPECT_EQ(DesktopText("TileWallpaper"), "1");
  const SettingsModel again = LoadSettings(registry, kExe);
  EXPECT_EQ(again.interval, 60);
  EXPECT_EQ(again.intervalIndex, 3);
  EXPECT_STREQ(kStyleTable[again.styleIndex].item, "平铺");
  EXPECT_EQ(again.topPos, 2);
  EXPECT_EQ(again.bgPicPath, "D:\\背景");
  EXPECT_EQ(again.featureBits, 17);
}

}  // namespace
