#include "desktop/settings_panel.h"

#include <gtest/gtest.h>

#include "desktop/carousel.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_desktop.h"
#include "fakes/fake_face_check_form.h"
#include "fakes/fake_files.h"
#include "fakes/fake_picture_decoder.h"
#include "fakes/fake_picture_files.h"
#include "fakes/fake_registry.h"
#include "fakes/fake_settings_panel_view.h"
#include "fakes/fake_wallpaper_screen.h"
#include "log/activity_log.h"
#include "settings/run_params.h"
#include "settings/settings.h"
#include "util/literal_table.h"

namespace {

using P = PanelControl;
constexpr RegistryRoot kUser = RegistryRoot::CurrentUser;
const std::string kProgram = "C:\\网吧收银\\";
const std::string kBg = "D:\\背景图片\\";
const std::string kTop = "D:\\网吧LOGO\\";

// A clock whose pause runs what the message loop would dispatch meanwhile.
struct DispatchingClock : FakeClock {
  std::function<void()> duringDelay;
  void DelayWithMessages(int milliseconds) override {
    FakeClock::DelayWithMessages(milliseconds);
    if (duringDelay) duringDelay();
  }
};

struct PanelFixture : ::testing::Test {
  FakeSettingsPanelView view;
  FakeDesktop desktop;
  FakeRegistry registry;
  FakeFiles logFiles;
  DispatchingClock clock;
  ActivityLog log{logFiles, clock};
  FakePictureFiles files;
  FakePictureDecoder decoder;
  FakeWallpaperScreen screen;
  WallpaperCarousel carousel{files, decoder, screen, registry, log};
  RuntimeSwitches switches;
  FakeFaceCheckForm faceForm{desktop};
  SettingsModel model;
  SettingsPanel panel{{view, desktop, registry, log, clock, files, carousel, switches, faceForm, model}};
  std::string appKey = Literal(lit::kAppKeyPath);
  int intervalTaken = -1;
  Hwnd ctidWindow = 0, appWindow = 0;

  PanelFixture() {
    logFiles.folders.insert(kProgram + "LOGS\\");
    log.SetSwitch(true, kProgram);
    panel.findCtidWindow = [this] { return ctidWindow; };
    panel.findAppQrWindow = [this] { return appWindow; };
    panel.setCarouselInterval = [this](int seconds) { intervalTaken = seconds; };
    panel.barId = [] { return std::string("123456"); };
  }

  // Start-up as the main window runs it, from what the registry holds.
  void StartUp() {
    model = LoadSettings(registry, kProgram + "Tollimer.exe");
    panel.ShowLoadedSettings();
    panel.ApplySettings();
  }
  void Store(const std::string& key, const std::string& name, FakeRegistry::Value value) {
    registry.Set(kUser, key, name, std::move(value));
  }
  std::string App(const std::string& name) { return Stored(appKey, name); }
  std::string Desk(const std::string& name) { return Stored(kDesktopKeyPath, name); }
  std::string Stored(const std::string& key, const std::string& name) {
    const FakeRegistry::Value* v = registry.Get(kUser, key, name);
    if (!v) return "<absent>";
    if (const auto* text = std::get_if<std::string>(v)) return *text;
    return "dword " + std::to_string(std::get<std::uint32_t>(*v));
  }
  void Pictures(const std::string& folder, std::initializer_list<const char*> names) {
    files.AddFolder(folder);
    for (const char* name : names) files.AddFile(folder + name, "picture");
  }
  std::vector<std::string> LogLines(const std::string& needle) {
    std::vector<std::string> lines;
    const std::string& text = logFiles.files[kProgram + "LOGS\\2024-03-07.TXT"];
    for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
      std::string line = text.substr(start + 23, end - start - 23);  // after the timestamp
      if (line.find(needle) != std::string::npos) lines.push_back(line);
    }
    return lines;
  }
};

TEST_F(PanelFixture, StartUpShowsTheStoredBitsOnTheBoxesSwitchesAndGroups) {
  struct Case {
    int bits;
    bool groupExp, groupDesk;
  } cases[] = {{0, false, false}, {1 | 16, true, true}, {2 | 4 | 8, false, false}, {32, false, false}, {63, true, true}};
  for (const Case& c : cases) {
    FakeSettingsPanelView fresh;
    view = fresh;
    desktop.monitors = 2;
    Store(appKey, "ExpCofig", std::to_string(c.bits));
    StartUp();
    SCOPED_TRACE(c.bits);
    EXPECT_EQ(view[P::chk_AutoMoveScreen].text, "记忆双屏幕显示位置[2]");
    EXPECT_EQ(view[P::chk_AutoMoveScreen].checked, (c.bits & 1) != 0);
    EXPECT_EQ(view[P::chk_CTID].checked, (c.bits & 2) != 0);
    EXPECT_EQ(view[P::chk_orvAPP].checked, (c.bits & 4) != 0);
    EXPECT_EQ(view[P::chk_rzxFace].checked, (c.bits & 8) != 0);
    EXPECT_EQ(view[P::chk_DeskWallpaper].checked, (c.bits & 16) != 0);
    EXPECT_EQ(view[P::chk_CTIDSwitch].checked, (c.bits & 32) != 0);
    EXPECT_FALSE(view[P::chk_CTIDSwitch].visible);  // checked or not, it stays hidden
    EXPECT_EQ(view[P::grp_ExpConfig].groupActive, c.groupExp);
    EXPECT_EQ(view[P::grp_deskConfig].groupActive, c.groupDesk);
    EXPECT_EQ(switches.bits, c.bits);
    EXPECT_EQ(switches.extendedScreen, (c.bits & 1) != 0);
    EXPECT_EQ(switches.carousel, (c.bits & 16) != 0);
    EXPECT_EQ(switches.ctidReturn, (c.bits & 32) != 0);
    EXPECT_TRUE(view[P::btn_SaveConfig].enabled);
  }
}

TEST_F(PanelFixture, StartUpFillsFoldersAndListsAndKeepsUnknownValuesUnselected) {
  Store(appKey, "BgWallpaperPath", kBg);
  Store(appKey, "topWallpaperPath", kTop);
  Store(kDesktopKeyPath, "WallpaperPos", std::string("5"));
  Store(kDesktopKeyPath, "Interval", std::uint32_t{20});
  Store(kDesktopKeyPath, "WallpaperStyle", std::string("22"));
  StartUp();
  EXPECT_EQ(view[P::edt_bgPicPath].text, kBg);
  EXPECT_EQ(view[P::edt_topPicPath].text, kTop);
  EXPECT_EQ(view[P::cbb_topPos].selection, -1);
  EXPECT_EQ(view[P::cbb_Interval].selection, -1);
  EXPECT_EQ(view[P::cbb_style].selection, 0);  // stays at 填充
}

TEST_F(PanelFixture, HotKeyCaptionAndShiftDoubleClick) {
  StartUp();
  panel.ShowHotKey(false);
  EXPECT_EQ(view[P::chk_CTID].text, "网证二维码");
  panel.ShowHotKey(true);
  EXPECT_EQ(view[P::chk_CTID].text, "网证二维码[F11]");

  panel.grp_ExpConfigDblClick(false);
  EXPECT_FALSE(view[P::chk_CTIDSwitch].visible);
  panel.grp_ExpConfigDblClick(true);
  EXPECT_TRUE(view[P::chk_CTIDSwitch].visible);
  panel.grp_ExpConfigDblClick(false);
  EXPECT_TRUE(view[P::chk_CTIDSwitch].visible);  // nothing hides it again
}

TEST_F(PanelFixture, CheckBoxClicksGreyOrActivateTheirGroups) {
  StartUp();
  view[P::chk_AutoMoveScreen].checked = true;
  panel.OnClick(P::chk_AutoMoveScreen);
  EXPECT_TRUE(view[P::grp_ExpConfig].groupActive);
  EXPECT_FALSE(view[P::grp_deskConfig].groupActive);
  view[P::chk_DeskWallpaper].checked = true;
  panel.OnClick(P::chk_DeskWallpaper);
  EXPECT_TRUE(view[P::grp_deskConfig].groupActive);
  view[P::chk_AutoMoveScreen].checked = false;
  panel.OnClick(P::chk_AutoMoveScreen);
  EXPECT_FALSE(view[P::grp_ExpConfig].groupActive);
  EXPECT_EQ(switches.bits, 0);  // switches change only at a save
}

TEST_F(PanelFixture, SaveWritesWhatTheBoxesHoldWithUnknownStoredValuesNormalised) {
  Store(appKey, "ExpCofig", std::string("32"));  // the hidden box's bit only
  Store(kDesktopKeyPath, "WallpaperPos", std::string("5"));
  Store(kDesktopKeyPath, "Interval", std::uint32_t{20});
  Store(kDesktopKeyPath, "WallpaperStyle", std::string("22"));
  StartUp();
  view[P::edt_bgPicPath].text = "E:\\不存在\\";
  view[P::edt_topPicPath].text = "relative text";
  view[P::chk_CTID].checked = true;

  panel.OnClick(P::btn_SaveConfig);

  EXPECT_EQ(App("ExpCofig"), "34");  // 2 + the hidden 32
  EXPECT_EQ(Desk("WallpaperStyle"), "10");
  EXPECT_EQ(Desk("TileWallpaper"), "0");
  EXPECT_EQ(Desk("WallpaperPos"), "-1");
  EXPECT_EQ(Desk("Interval"), "dword 20");  // no list entry: the interval stays
  EXPECT_EQ(App("bgWallpaperPath"), "E:\\不存在\\");
  EXPECT_EQ(App("topWallpaperPath"), "relative text");
  EXPECT_EQ(App("BarID"), "123456");
  EXPECT_TRUE(switches.ctidReturn);
  EXPECT_FALSE(switches.extendedScreen);
  EXPECT_EQ(intervalTaken, 20);
  EXPECT_EQ(carousel.topPos, -1);
  EXPECT_EQ(clock.waits, std::vector<int>{200});
  EXPECT_TRUE(view[P::btn_SaveConfig].enabled);
}

TEST_F(PanelFixture, SaveTakesTheChosenListItems) {
  struct Case {
    int interval, style, position;
    const char *seconds, *code, *tile, *stored;
  } cases[] = {
      {0, 0, 0, "dword 10", "10", "0", "0"},     {3, 1, 1, "dword 60", "6", "0", "1"},
      {13, 3, 2, "dword 86400", "1", "1", "2"},  {9, 4, 1, "dword 3600", "0", "0", "1"},
      {5, 2, 2, "dword 300", "2", "0", "2"},
  };
  StartUp();
  for (const Case& c : cases) {
    view[P::cbb_Interval].selection = c.interval;
    view[P::cbb_style].selection = c.style;
    view[P::cbb_topPos].selection = c.position;
    panel.btn_SaveConfigClick();
    SCOPED_TRACE(c.interval);
    EXPECT_EQ(Desk("Interval"), c.seconds);
    EXPECT_EQ(Desk("WallpaperStyle"), c.code);
    EXPECT_EQ(Desk("TileWallpaper"), c.tile);
    EXPECT_EQ(Desk("WallpaperPos"), c.stored);
    EXPECT_EQ(carousel.topPos, c.position);
  }
}

TEST_F(PanelFixture, SaveFillsEmptyListsAndSetsTheCarouselControls) {
  const std::string emptyFolder = "D:\\空文件夹\\";
  struct Case {
    const char* what;
    std::string bg, top;
    bool checkedAfter, styleEnabled, topPosEnabled, testEnabled;
  } cases[] = {
      {"both boxes empty", "", "", false, false, false, false},
      {"both folders missing", "D:\\无\\", "D:\\无2\\", false, false, false, false},
      {"upper pictures only", "", kTop, true, false, true, true},
      {"background pictures only", kBg, "", true, true, false, true},
      {"both", kBg, kTop, true, false, true, true},
      // The background pictures still make a step worth testing.
      {"background pictures, empty upper folder", kBg, emptyFolder, true, true, false, true},
      {"both folders empty", emptyFolder, emptyFolder, false, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakePictureFiles freshFiles;
    files = freshFiles;
    Pictures(kBg, {"a.JPG", "b.png"});
    Pictures(kTop, {"logo.bmp"});
    files.AddFolder(emptyFolder);
    carousel.bgPicList.clear();
    carousel.topPicList.clear();
    Store(appKey, "ExpCofig", std::string("16"));
    StartUp();
    view[P::edt_bgPicPath].text = c.bg;
    view[P::edt_topPicPath].text = c.top;

    panel.btn_SaveConfigClick();

    EXPECT_EQ(view[P::chk_DeskWallpaper].checked, c.checkedAfter);
    EXPECT_EQ(view[P::grp_deskConfig].groupActive, c.checkedAfter);
    EXPECT_EQ(switches.carousel, c.checkedAfter);
    EXPECT_EQ(App("ExpCofig"), c.checkedAfter ? "16" : "0");
    EXPECT_EQ(view[P::cbb_style].enabled, c.styleEnabled);
    EXPECT_EQ(view[P::cbb_topPos].enabled, c.topPosEnabled);
    EXPECT_EQ(view[P::btn_picTest].enabled, c.testEnabled);
    EXPECT_EQ(carousel.testButtonEnabled, c.testEnabled);
  }
  EXPECT_EQ(LogLines("save bgPicList=").front(), "save bgPicList=2");
  EXPECT_EQ(LogLines("save topPicList=").front(), "save topPicList=1");
}

TEST_F(PanelFixture, FolderChoiceFillsItsListAtOnceAndTheSaveStoresIt) {
  Pictures(kTop, {"logo.bmp", "price.gif"});
  StartUp();
  view[P::edt_topPicPath].text = "D:\\旧\\";

  view.chosenFolder.reset();  // cancelled: nothing changes
  panel.OnClick(P::btn_topBrowse);
  EXPECT_EQ(view[P::edt_topPicPath].text, "D:\\旧\\");
  EXPECT_TRUE(LogLines("topPicCount=").empty());

  view.chosenFolder = "D:\\网吧LOGO";
  panel.OnClick(P::btn_topBrowse);
  EXPECT_EQ(view.browserTitles.back(), "浏览到你希望用于桌面展示的图片文件夹:");
  EXPECT_EQ(view.browserStarts.back(), "D:\\旧\\");
  EXPECT_EQ(view[P::edt_topPicPath].text, kTop);
  EXPECT_EQ(carousel.topPicList, (std::vector<std::string>{kTop + "logo.bmp", kTop + "price.gif"}));
  EXPECT_EQ(LogLines("topPicCount="), std::vector<std::string>{"topPicCount=2"});
  EXPECT_TRUE(view[P::btn_picTest].enabled);
  EXPECT_EQ(App("topWallpaperPath"), "<absent>");  // not stored until the save

  // A drive root keeps the shell's backslash and gets one more.
  view.chosenFolder = "D:\\";
  panel.OnClick(P::btn_bgBrowse);
  EXPECT_EQ(view.browserTitles.back(), "浏览到你希望用于桌面背景的图片文件夹:");
  EXPECT_EQ(view[P::edt_bgPicPath].text, "D:\\\\");
  EXPECT_EQ(LogLines("bgPicCount=").size(), 1u);

  panel.btn_SaveConfigClick();
  EXPECT_EQ(App("topWallpaperPath"), kTop);
  EXPECT_EQ(App("bgWallpaperPath"), "D:\\\\");
}

TEST_F(PanelFixture, FolderChoiceWithoutPicturesLeavesTheTestButtonAsItWas) {
  files.AddFolder("D:\\空\\");
  StartUp();
  for (bool before : {false, true}) {
    view[P::btn_picTest].enabled = before;
    view.chosenFolder = "D:\\空";
    panel.btn_bgBrowseClick();
    EXPECT_EQ(view[P::btn_picTest].enabled, before);
    EXPECT_TRUE(carousel.bgPicList.empty());
  }
}

TEST_F(PanelFixture, FolderThatVanishesBeforeTheSaveEmptiesItsListButKeepsItsText) {
  Pictures(kBg, {"a.jpg"});
  Store(appKey, "ExpCofig", std::string("16"));
  StartUp();
  view.chosenFolder = "D:\\背景图片";
  panel.btn_bgBrowseClick();
  ASSERT_EQ(carousel.bgPicList.size(), 1u);

  files.folders.erase(kBg);
  panel.btn_SaveConfigClick();

  EXPECT_TRUE(carousel.bgPicList.empty());
  EXPECT_EQ(App("bgWallpaperPath"), kBg);
  EXPECT_FALSE(view[P::chk_DeskWallpaper].checked);
  EXPECT_FALSE(switches.carousel);
  EXPECT_EQ(App("ExpCofig"), "0");
}

TEST_F(PanelFixture, LongAndChineseFolderTextsAreStoredByteForByte) {
  const std::string longPath = "C:\\" + std::string(296, 'x') + "\\";  // 300 bytes
  const std::string chinese = "D:\\图片\\网吧 价格表(新)\\";
  StartUp();
  for (const std::string& text : {longPath, chinese}) {
    view[P::edt_bgPicPath].text = text;
    view[P::edt_topPicPath].text = text;
    panel.btn_SaveConfigClick();
    EXPECT_EQ(App("bgWallpaperPath"), text);
    EXPECT_EQ(App("topWallpaperPath"), text);
  }
}

TEST_F(PanelFixture, SaveCapturesWindowPositionsOnlyWithTheExtendedScreen) {
  Store(appKey, "CTIDWin", std::string("old.ctid"));
  Store(appKey, "OrvAppWin", std::string("old.app"));
  Store(appKey, "FaceVeifyWin", std::string("old.face"));
  ctidWindow = desktop.Add("TFrmCTID", "网证CTID扫码上机");
  appWindow = desktop.Add("CQrCodeActiveWnd", "");
  desktop.Get(ctidWindow).left = 2100;
  desktop.Get(ctidWindow).top = 200;
  desktop.Get(appWindow).left = -1280;
  desktop.Get(appWindow).top = 40;
  faceForm.Show();
  desktop.Get(faceForm.Handle()).left = 1924;
  desktop.Get(faceForm.Handle()).top = 150;
  StartUp();

  panel.btn_SaveConfigClick();  // extended screen off
  EXPECT_EQ(App("CTIDWin"), "old.ctid");
  EXPECT_EQ(App("OrvAppWin"), "old.app");
  EXPECT_EQ(App("FaceVeifyWin"), "old.face");
  EXPECT_TRUE(LogLines("Win.x=").empty());

  view[P::chk_AutoMoveScreen].checked = true;
  panel.btn_SaveConfigClick();
  EXPECT_EQ(App("CTIDWin"), "2100.200");
  EXPECT_EQ(App("OrvAppWin"), "-1280.40");
  EXPECT_EQ(App("FaceVeifyWin"), "1924.150");
  EXPECT_EQ(LogLines("Win.x="), (std::vector<std::string>{"CTIDWin.x=2100,CTIDWin.y=200",
                                                         "OrvAppWin.x=-1280,OrvAppWin.y=40",
                                                         "FaceVeifyWin.x=1924,FaceVeifyWin.y=150"}));
}

TEST_F(PanelFixture, PositionsThatCannotBeTakenKeepTheirStoredValues) {
  struct Case {
    const char* what;
    bool ctidParked, appGone, appUnreadable, faceHidden;
    const char *ctid, *app, *face;
    std::vector<std::string> lines;
  } cases[] = {
      {"CTID window parked, face hidden", true, false, false, true, "old.ctid", "5.6", "old.face",
       {"OrvAppWin.x=5,OrvAppWin.y=6", "FaceVeifyWin.x=0,FaceVeifyWin.y=0"}},
      {"app window gone", false, true, false, false, "7.8", "old.app", "9.10",
       {"CTIDWin.x=7,CTIDWin.y=8", "OrvAppWin.x=0,OrvAppWin.y=0", "FaceVeifyWin.x=9,FaceVeifyWin.y=10"}},
      {"app window unreadable", false, false, true, false, "7.8", "old.app", "9.10",
       {"CTIDWin.x=7,CTIDWin.y=8", "OrvAppWin.x=0,OrvAppWin.y=0", "FaceVeifyWin.x=9,FaceVeifyWin.y=10"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    logFiles.files.clear();
    Store(appKey, "ExpCofig", std::string("1"));
    Store(appKey, "CTIDWin", std::string("old.ctid"));
    Store(appKey, "OrvAppWin", std::string("old.app"));
    Store(appKey, "FaceVeifyWin", std::string("old.face"));
    for (Hwnd window : {ctidWindow, appWindow}) {
      if (window && desktop.Exists(window)) desktop.Remove(window);
    }
    ctidWindow = desktop.Add("TFrmCTID", "任子行网证扫码上机");
    desktop.Get(ctidWindow).left = 7;
    desktop.Get(ctidWindow).top = c.ctidParked ? desktop.workArea.height - 300 : 8;
    appWindow = c.appGone ? 0 : desktop.Add("TCreateQRCodeFrm", "");
    if (appWindow) {
      desktop.Get(appWindow).left = 5;
      desktop.Get(appWindow).top = 6;
      desktop.Get(appWindow).rectUnreadable = c.appUnreadable;
    }
    desktop.Get(faceForm.Handle()).visible = !c.faceHidden;
    desktop.Get(faceForm.Handle()).left = 9;
    desktop.Get(faceForm.Handle()).top = 10;
    StartUp();
    panel.btn_SaveConfigClick();
    EXPECT_EQ(App("CTIDWin"), c.ctid);
    EXPECT_EQ(App("OrvAppWin"), c.app);
    EXPECT_EQ(App("FaceVeifyWin"), c.face);
    EXPECT_EQ(LogLines("Win.x="), c.lines);
  }
}

TEST_F(PanelFixture, ClickOnTheSaveButtonDuringTheSavesPauseDoesNotSaveAgain) {
  StartUp();
  int nested = 0;
  clock.duringDelay = [&] {
    ++nested;
    EXPECT_FALSE(view[P::btn_SaveConfig].enabled);
    panel.OnClick(P::btn_SaveConfig);  // Wine delivers clicks to disabled buttons
  };
  panel.OnClick(P::btn_SaveConfig);
  EXPECT_EQ(nested, 1);
  EXPECT_EQ(clock.waits.size(), 1u);
  EXPECT_TRUE(view[P::btn_SaveConfig].enabled);
}

TEST_F(PanelFixture, TestButtonRunsOneCarouselStepAndShowsItsOutcome) {
  Pictures(kBg, {"a.bmp"});
  StartUp();
  view.chosenFolder = "D:\\背景图片";
  panel.btn_bgBrowseClick();
  view[P::cbb_style].enabled = false;
  panel.OnClick(P::btn_picTest);
  // A background-only step sets the picture itself and makes the style count.
  EXPECT_EQ(screen.wallpapers.size(), 1u);
  EXPECT_TRUE(view[P::cbb_style].enabled);
  EXPECT_TRUE(view[P::btn_picTest].enabled);
}

}  // namespace
