#include "watcher/watch_cycle.h"

#include <gtest/gtest.h>

#include "fakes/fake_clock.h"
#include "fakes/fake_desktop.h"
#include "fakes/fake_files.h"
#include "log/activity_log.h"
#include "util/text.h"

namespace {

struct WatchFixture : ::testing::Test {
  FakeDesktop desktop;
  FakeClock clock;
  FakeFiles files;
  ActivityLog log{files, clock};
  RuntimeSwitches switches;
  WatchCycle cycle{desktop, clock, log, switches};
  std::vector<std::string> calls;

  WatchFixture() {
    files.folders.insert("C:\\T\\LOGS\\");
    log.SetSwitch(true, "C:\\T\\");
  }
  std::string LogText() { return files.files["C:\\T\\LOGS\\2024-03-07.TXT"]; }
  void HookEverything() {
    auto& h = cycle.Hooks();
    h.loadBlacklist = [this](const std::string& linePrefix) {
      calls.push_back("blacklist");
      log.WriteLog(linePrefix + "12");
    };
    h.loadPictureLists = [this] { calls.push_back("pictures"); };
    h.faceVerification = [this] { calls.push_back("face"); return false; };
    h.placeHandoverAndQrWindows = [this] { calls.push_back("place"); };
    h.carouselStep = [this] { calls.push_back("carousel"); };
    h.ctidReturnStep = [this] { calls.push_back("return"); };
  }
};

TEST_F(WatchFixture, IdleCycleSearchesTopLevelWindowsWithinItsBudgetAndTouchesNothing) {
  cycle.RunWatchCycle();
  EXPECT_TRUE(desktop.actions.empty());
  EXPECT_LE(desktop.topLevelSearches, 16);
}

TEST_F(WatchFixture, CashierDialogsAreLeftAloneWithoutACashierWindow) {
  Hwnd reminder = desktop.Add("#32770", "点数不足提醒");
  Hwnd activation = desktop.Add("TFormActiveMem", "");
  cycle.Dialogs().Switches().reminderOn = true;
  cycle.RunWatchCycle();
  EXPECT_TRUE(desktop.actions.empty());
  EXPECT_EQ(LogText().find("PointTip"), std::string::npos);

  for (const char* caption : {"Orv网络计费系统-次收银台", "Orv网络计费系统 v7-主收银台"}) {
    Hwnd cashier = desktop.Add("TFrmMain", caption);
    desktop.actions.clear();
    cycle.RunWatchCycle();
    EXPECT_NE(std::find(desktop.actions.begin(), desktop.actions.end(),
                        "close " + std::to_string(reminder)),
              desktop.actions.end()) << caption;
    desktop.Remove(cashier);
    reminder = desktop.Add("#32770", "点数不足提醒");
  }
  EXPECT_TRUE(cycle.MainCashierSeen());
  EXPECT_TRUE(desktop.Exists(activation));
}

TEST_F(WatchFixture, FirstTickLoadsOnceAndTheCycleRunsEveryTick) {
  HookEverything();
  switches.Apply(kWallpaperCarousel);
  cycle.OnWatchTimer();
  cycle.OnWatchTimer();
  EXPECT_EQ(calls, (std::vector<std::string>{"pictures", "blacklist", "face", "face"}));
  EXPECT_NE(LogText().find("Load BlackList=12"), std::string::npos);
}

TEST_F(WatchFixture, BlacklistReloadsOnlyOnATickInTheFirstSecondOfTheDay) {
  HookEverything();
  cycle.OnWatchTimer();  // first tick
  calls.clear();
  for (int second : {0, 1, 2}) {
    clock.now = {2024, 3, 8, 0, 0, second, 0};
    cycle.OnWatchTimer();
  }
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "blacklist"), 1);
  EXPECT_NE(files.files["C:\\T\\LOGS\\2024-03-08.TXT"].find("00:00:01.0 Reload BlackList=12"),
            std::string::npos);
}

TEST_F(WatchFixture, BlacklistHitEndsTheCycleBeforeTheLaterSteps) {
  HookEverything();
  switches.Apply(kExtendedScreen | kCtidReturn);
  Hwnd safe = desktop.Add("#32770", "安全警报");
  desktop.Add("Button", "是(&Y)", safe);
  cycle.Hooks().faceVerification = [this] { calls.push_back("face"); return true; };
  cycle.RunWatchCycle();
  EXPECT_EQ(calls, std::vector<std::string>{"face"});
  EXPECT_TRUE(desktop.actions.empty());

  cycle.Hooks().faceVerification = [] { return false; };
  cycle.RunWatchCycle();
  EXPECT_EQ(calls, (std::vector<std::string>{"face", "place", "return"}));
  EXPECT_EQ(desktop.actions.size(), 1u);
}

TEST_F(WatchFixture, SwitchedStepsRunOnlyWithTheirSwitchAndTheCarouselAtItsInterval) {
  HookEverything();
  cycle.SetCarouselInterval(3);
  for (int i = 0; i < 6; ++i) cycle.RunWatchCycle();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "face"), 6);
  EXPECT_EQ(calls.size(), 6u);

  switches.Apply(kWallpaperCarousel);
  calls.clear();
  for (int i = 0; i < 6; ++i) cycle.RunWatchCycle();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "carousel"), 2);
}

// The carousel trigger: its counter stands still while the carousel is off,
// and an interval lowered below the count steps at the next cycle.
TEST_F(WatchFixture, CarouselCounterKeepsItsCountWhileOffAndMeetsALoweredInterval) {
  HookEverything();
  cycle.SetCarouselInterval(10);
  switches.Apply(kWallpaperCarousel);
  for (int i = 0; i < 7; ++i) cycle.RunWatchCycle();
  switches.Apply(0);
  for (int i = 0; i < 20; ++i) cycle.RunWatchCycle();
  switches.Apply(kWallpaperCarousel);
  calls.clear();
  for (int i = 0; i < 3; ++i) cycle.RunWatchCycle();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "carousel"), 1);
  EXPECT_EQ(calls.back(), "carousel");  // the tenth counted cycle

  for (int i = 0; i < 5; ++i) cycle.RunWatchCycle();
  calls.clear();
  cycle.SetCarouselInterval(3);  // a save lowers it below the count of 5
  cycle.RunWatchCycle();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "carousel"), 1);
}

}  // namespace
