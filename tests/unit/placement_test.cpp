#include "watcher/placement.h"

#include <gtest/gtest.h>

#include "fakes/fake_clock.h"
#include "fakes/fake_desktop.h"
#include "fakes/fake_files.h"
#include "fakes/fake_registry.h"
#include "log/activity_log.h"
#include "settings/run_params.h"
#include "util/literal_table.h"
#include "util/text.h"
#include "watcher/watch_cycle.h"

namespace {

struct PlacementFixture : ::testing::Test {
  FakeDesktop desktop;
  FakeRegistry registry;
  FakeClock clock;
  FakeFiles files;
  ActivityLog log{files, clock};
  RuntimeSwitches switches;
  ExtendedScreenPlacement placement{desktop, registry, log, switches};

  PlacementFixture() {
    files.folders.insert("C:\\T\\LOGS\\");
    log.SetSwitch(true, "C:\\T\\");
    switches.Apply(kExtendedScreen | kAppQrWindow);
  }
  std::vector<std::string> LogLines() {
    std::vector<std::string> lines;
    const std::string& text = files.files["C:\\T\\LOGS\\2024-03-07.TXT"];
    for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
      lines.push_back(text.substr(start + 23, end - start - 23));  // after the timestamp
    }
    return lines;
  }
  void Remember(const char* name, const char* position) {
    registry.Set(RegistryRoot::CurrentUser, Literal(lit::kAppKeyPath), name, std::string(position));
  }
  int Moves(Hwnd window) {
    int n = 0;
    for (const auto& a : desktop.actions) n += a.rfind("setpos " + std::to_string(window) + " ", 0) == 0;
    return n;
  }
};

TEST(HandoverPosition, CentresTheBillingConsolesWindowSizeOnThePrimaryScreen) {
  // (width - 891) / 2 and (height - 563) / 2, truncated towards zero.
  struct Case { int width, height, left, top; } cases[] = {
      {1920, 1080, 514, 258},
      {800, 600, -45, 18},
      {1024, 768, 66, 102},
      {891, 563, 0, 0},
      {890, 562, 0, 0},      // -1 / 2 is 0, not -1
      {888, 560, -1, -1},
      {0, 0, -445, -281},
  };
  for (const Case& c : cases) {
    ScreenPosition p = HandoverPosition({c.width, c.height});
    EXPECT_EQ(p.left, c.left) << c.width << "x" << c.height;
    EXPECT_EQ(p.top, c.top) << c.width << "x" << c.height;
  }
}

TEST_F(PlacementFixture, HandoverWindowIsCentredOncePerAppearance) {
  Hwnd handover = desktop.Add("TFrmJiaoBan", "交班");
  placement.PlaceHandoverAndQrWindows();
  placement.PlaceHandoverAndQrWindows();  // still visible: left where the cashier may move it
  EXPECT_EQ(desktop.actions, (std::vector<std::string>{"setpos " + std::to_string(handover) +
                                                       " -2 514,258 3x4 17"}));

  desktop.Get(handover).visible = false;
  placement.PlaceHandoverAndQrWindows();
  desktop.Get(handover).visible = true;
  desktop.screen = {800, 600};
  placement.PlaceHandoverAndQrWindows();
  EXPECT_EQ(desktop.actions.back(), "setpos " + std::to_string(handover) + " -2 -45,18 3x4 17");
  EXPECT_EQ(Moves(handover), 2);
  EXPECT_EQ(LogLines(), (std::vector<std::string>{"JiaoBanWinOK=1,JiaoBanWnd.x=514,JiaoBanWnd.y=258",
                                                  "JiaoBanWinOK=1,JiaoBanWnd.x=-45,JiaoBanWnd.y=18"}));
}

TEST_F(PlacementFixture, FailedMoveIsTriedAgainOnTheNextTick) {
  Hwnd handover = desktop.Add("TFrmJiaoBan", "");
  Hwnd qr = desktop.Add("CQrCodeActiveWnd", "");
  Remember("OrvAppWin", "1920.40");
  desktop.Get(handover).refusesMove = true;
  desktop.Get(qr).refusesMove = true;
  placement.PlaceHandoverAndQrWindows();
  placement.PlaceHandoverAndQrWindows();
  EXPECT_EQ(Moves(handover), 2);
  EXPECT_EQ(Moves(qr), 2);
  EXPECT_FALSE(placement.JiaoBanWinOK());
  EXPECT_EQ(LogLines()[0], "JiaoBanWinOK=0,JiaoBanWnd.x=514,JiaoBanWnd.y=258");
  EXPECT_EQ(LogLines()[1], "OrvAppWinOK=0,orvAPPWnd.x=1920,orvAPPWnd.y=40");

  desktop.Get(qr).refusesMove = false;
  placement.PlaceHandoverAndQrWindows();
  placement.PlaceHandoverAndQrWindows();
  EXPECT_EQ(Moves(qr), 3);
}

TEST_F(PlacementFixture, AppQrWindowGoesToTheRememberedPositionOnlyWhenOneIsSet) {
  struct Case {
    const char* stored;  // nullptr: value absent
    bool moved;
    const char* line;
  } cases[] = {
      {"1920.100", true, "OrvAppWinOK=1,orvAPPWnd.x=1920,orvAPPWnd.y=100"},
      {"-1280.0", true, "OrvAppWinOK=1,orvAPPWnd.x=-1280,orvAPPWnd.y=0"},
      {nullptr, false, "OrvAppWinOK=0,orvAPPWnd.x=0,orvAPPWnd.y=0"},
      {"-100.100", false, "OrvAppWinOK=0,orvAPPWnd.x=-100,orvAPPWnd.y=100"},  // adds up to 0
      {"1920", false, "OrvAppWinOK=0,orvAPPWnd.x=0,orvAPPWnd.y=0"},
      {"garbage", false, "OrvAppWinOK=0,orvAPPWnd.x=0,orvAPPWnd.y=0"},
      {"99999999999.20", true, "OrvAppWinOK=1,orvAPPWnd.x=0,orvAPPWnd.y=20"},
      {"2147483647.1", true, "OrvAppWinOK=1,orvAPPWnd.x=2147483647,orvAPPWnd.y=1"},
  };
  for (const Case& c : cases) {
    FakeDesktop d;
    FakeRegistry r;
    FakeFiles f;
    ActivityLog l{f, clock};
    f.folders.insert("C:\\T\\LOGS\\");
    l.SetSwitch(true, "C:\\T\\");
    if (c.stored) r.Set(RegistryRoot::CurrentUser, Literal(lit::kAppKeyPath), "OrvAppWin", std::string(c.stored));
    ExtendedScreenPlacement p{d, r, l, switches};
    Hwnd qr = d.Add("TCreateQRCodeFrm", "");
    p.PlaceHandoverAndQrWindows();
    p.PlaceHandoverAndQrWindows();
    const std::string& text = f.files["C:\\T\\LOGS\\2024-03-07.TXT"];
    // Moved: once, one line. Not moved: a line on every tick while visible.
    EXPECT_EQ(d.actions.size(), c.moved ? 1u : 0u) << c.stored;
    EXPECT_EQ(static_cast<size_t>(CountOccurrences(text, c.line)), c.moved ? 1u : 2u) << c.stored;
    if (c.moved) {
      EXPECT_EQ(d.actions[0].substr(0, d.actions[0].find(' ', 7)), "setpos " + std::to_string(qr));
    }
  }
}

TEST_F(PlacementFixture, ActiveWndClassComesBeforeTheOtherAndAHiddenOneBlocksIt) {
  Remember("OrvAppWin", "2000.50");
  Hwnd other = desktop.Add("TCreateQRCodeFrm", "");
  Hwnd active = desktop.Add("CQrCodeActiveWnd", "");
  placement.PlaceHandoverAndQrWindows();
  EXPECT_EQ(desktop.actions, (std::vector<std::string>{"setpos " + std::to_string(active) +
                                                       " -2 2000,50 3x4 17"}));
  // Only the first class is looked at while a window of it exists.
  desktop.actions.clear();
  desktop.Get(active).visible = false;
  placement.PlaceHandoverAndQrWindows();
  EXPECT_TRUE(desktop.actions.empty());
  desktop.Remove(active);
  placement.PlaceHandoverAndQrWindows();
  EXPECT_EQ(Moves(other), 1);
}

TEST_F(PlacementFixture, PositionIsReadAtEachAppearance) {
  Hwnd qr = desktop.Add("CQrCodeActiveWnd", "");
  Remember("OrvAppWin", "1930.10");
  placement.PlaceHandoverAndQrWindows();
  Remember("OrvAppWin", "2100.300");  // the cashier saved a new place meanwhile
  desktop.Get(qr).visible = false;
  placement.PlaceHandoverAndQrWindows();
  desktop.Get(qr).visible = true;
  placement.PlaceHandoverAndQrWindows();
  EXPECT_EQ(desktop.actions.back(), "setpos " + std::to_string(qr) + " -2 2100,300 3x4 17");
}

TEST_F(PlacementFixture, FeatureBitsChooseWhatIsPlacedAndTheCtidWindowComesBetween) {
  Hwnd handover = desktop.Add("TFrmJiaoBan", "");
  Hwnd qr = desktop.Add("CQrCodeActiveWnd", "");
  Remember("OrvAppWin", "1930.10");
  placement.moveCtidWindow = [this] { desktop.actions.push_back("ctid"); };
  struct Case { int bits; std::vector<std::string> order; } cases[] = {
      {kExtendedScreen, {"handover"}},
      {kExtendedScreen | kCtidWindow, {"handover", "ctid"}},
      {kExtendedScreen | kAppQrWindow, {"handover", "qr"}},
      {kExtendedScreen | kCtidWindow | kAppQrWindow, {"handover", "ctid", "qr"}},
  };
  for (const Case& c : cases) {
    ExtendedScreenPlacement p{desktop, registry, log, switches};
    p.moveCtidWindow = placement.moveCtidWindow;
    switches.Apply(c.bits);
    desktop.actions.clear();
    p.PlaceHandoverAndQrWindows();
    std::vector<std::string> order;
    for (const auto& a : desktop.actions) {
      if (a == "ctid") order.push_back("ctid");
      else if (a.rfind("setpos " + std::to_string(handover) + " ", 0) == 0) order.push_back("handover");
      else if (a.rfind("setpos " + std::to_string(qr) + " ", 0) == 0) order.push_back("qr");
    }
    EXPECT_EQ(order, c.order) << c.bits;
  }
}

TEST_F(PlacementFixture, WatchCycleLeavesEveryWindowAloneWhileTheSwitchIsOff) {
  desktop.Add("TFrmJiaoBan", "");
  desktop.Add("CQrCodeActiveWnd", "");
  Remember("OrvAppWin", "1930.10");
  WatchCycle cycle{desktop, clock, log, switches};
  cycle.Hooks().placeHandoverAndQrWindows = [this] { placement.PlaceHandoverAndQrWindows(); };
  switches.Apply(kCtidWindow | kAppQrWindow | kFaceWindow);
  cycle.RunWatchCycle();
  EXPECT_TRUE(desktop.actions.empty());
  switches.Apply(kExtendedScreen | kAppQrWindow);
  cycle.RunWatchCycle();
  EXPECT_EQ(desktop.actions.size(), 2u);
}

}  // namespace
