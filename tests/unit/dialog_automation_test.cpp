#include "watcher/dialog_automation.h"

#include <gtest/gtest.h>

#include "fakes/fake_clock.h"
#include "fakes/fake_desktop.h"
#include "fakes/fake_files.h"
#include "log/activity_log.h"
#include "util/text.h"

namespace {

using Actions = std::vector<std::string>;

// A desktop, a log that records into fake files, and the automation under test.
struct DialogFixture : ::testing::Test {
  FakeDesktop desktop;
  FakeClock clock;
  FakeFiles files;
  ActivityLog log{files, clock};
  DialogAutomation dialogs{desktop, clock, log};

  DialogFixture() {
    files.folders.insert("C:\\T\\LOGS\\");
    log.SetSwitch(true, "C:\\T\\");
  }
  std::string LogText() { return files.files["C:\\T\\LOGS\\2024-03-07.TXT"]; }
  int LogLines(const std::string& needle) {
    int n = 0;
    const std::string text = LogText();
    for (auto pos = text.find(needle); pos != std::string::npos; pos = text.find(needle, pos + 1)) ++n;
    return n;
  }
};

std::string Caption(int n) { return "会员激活 ( " + std::to_string(n) + " 秒后关闭)"; }

TEST_F(DialogFixture, ActivationWindowCountsDownFromTheChosenSecondsAndClosesOnTheLastTick) {
  for (int seconds : {15, 8, 3}) {
    desktop.actions.clear();
    if (seconds == 8) dialogs.N4Click();
    if (seconds == 3) dialogs.N3Click();
    Hwnd w = desktop.Add("TFormActiveMem", "会员激活");
    Actions expected;
    for (int tick = 0; tick < seconds; ++tick) {
      dialogs.CashierDialogsStep();
      expected.push_back("settext " + std::to_string(w) + " " + Caption(seconds - tick));
    }
    expected.push_back("close " + std::to_string(w));
    EXPECT_EQ(desktop.actions, expected) << seconds << " seconds";
    EXPECT_FALSE(desktop.Exists(w));
    EXPECT_EQ(dialogs.ActivationCounter(), 0);
  }
}

TEST_F(DialogFixture, HiddenActivationWindowRestartsTheCountdown) {
  Hwnd w = desktop.Add("TFormActiveMem", "");
  for (int i = 0; i < 5; ++i) dialogs.CashierDialogsStep();
  EXPECT_EQ(desktop.Get(w).caption, Caption(11));
  desktop.Get(w).visible = false;
  dialogs.CashierDialogsStep();
  EXPECT_EQ(dialogs.ActivationCounter(), 0);
  desktop.Get(w).visible = true;
  dialogs.CashierDialogsStep();
  EXPECT_EQ(desktop.Get(w).caption, Caption(15));
}

TEST_F(DialogFixture, ShorterCountdownChosenWhileCountingClosesAtOnce) {
  Hwnd w = desktop.Add("TFormActiveMem", "");
  for (int i = 0; i < 5; ++i) dialogs.CashierDialogsStep();
  dialogs.N3Click();
  dialogs.CashierDialogsStep();
  EXPECT_EQ(desktop.actions.back(), "close " + std::to_string(w));
  EXPECT_EQ(desktop.actions[desktop.actions.size() - 2], "settext 1 " + Caption(-2));
}

TEST_F(DialogFixture, PointsReminderIsClosedOnlyWithTheSwitchOnAndLoggedEveryTick) {
  Hwnd d = desktop.Add("#32770", "点数不足提醒");
  dialogs.CashierDialogsStep();
  dialogs.CashierDialogsStep();
  EXPECT_TRUE(desktop.actions.empty());
  EXPECT_EQ(LogLines("PointTip=" + std::to_string(d)), 2);

  dialogs.Point_TipClick([] { return 6; });  // Yes
  dialogs.CashierDialogsStep();
  EXPECT_EQ(desktop.actions, Actions{"close " + std::to_string(d)});
}

TEST_F(DialogFixture, ReminderSwitchAsksOnlyWhenSwitchingOn) {
  int asked = 0;
  auto answer = [&](int a) { return [&asked, a] { ++asked; return a; }; };
  dialogs.Point_TipClick(answer(kAnswerNo));
  EXPECT_FALSE(dialogs.Switches().reminderOn);
  dialogs.Point_TipClick(answer(2));  // closed with Escape/Cancel: not "No"
  EXPECT_TRUE(dialogs.Switches().reminderOn);
  dialogs.Point_TipClick(answer(kAnswerNo));
  EXPECT_FALSE(dialogs.Switches().reminderOn);
  EXPECT_EQ(asked, 2);
}

TEST_F(DialogFixture, PromptDialogClosedOnlyWhenVisibleWithAButtonAndTheSwitchOn) {
  Hwnd d = desktop.Add("#32770", "提示");
  Hwnd b = desktop.Add("Button", "确定", d);
  dialogs.PromptDialogStep();
  EXPECT_TRUE(desktop.actions.empty());
  EXPECT_EQ(LogLines("ButtonTip=" + std::to_string(d) + ",BtnCZ=" + std::to_string(b)), 1);
  dialogs.Switches().reminderOn = true;
  desktop.Get(d).visible = false;
  dialogs.PromptDialogStep();
  EXPECT_TRUE(desktop.actions.empty());
  desktop.Get(d).visible = true;
  dialogs.PromptDialogStep();
  EXPECT_EQ(desktop.actions, Actions{"close " + std::to_string(d)});

  Hwnd bare = desktop.Add("#32770", "提示");
  dialogs.PromptDialogStep();
  EXPECT_EQ(desktop.actions.size(), 1u);
  EXPECT_EQ(LogLines("ButtonTip=" + std::to_string(bare) + ",BtnCZ=0"), 1);
}

TEST_F(DialogFixture, HelpDialogGetsNoPressedAndADialogWithoutItIsOnlyLogged) {
  Hwnd d = desktop.Add("#32770", "RwyCHlp");
  desktop.Add("Button", "是(&Y)", d);
  Hwnd no = desktop.Add("Button", "否(&N)", d);
  dialogs.CashierDialogsStep();
  EXPECT_EQ(desktop.actions, Actions{"click " + std::to_string(no)});
  Hwnd bare = desktop.Add("#32770", "RwyCHlp");
  desktop.Remove(d);
  desktop.actions.clear();
  dialogs.CashierDialogsStep();
  EXPECT_TRUE(desktop.actions.empty());
  EXPECT_EQ(LogLines("RwyCHlp=" + std::to_string(bare) + ",BtnX=0"), 1);
}

TEST_F(DialogFixture, ScanFormGetsItsSecondEntryOncePerWindow) {
  Hwnd d = desktop.Add("#32770", "请如实核对上网人本人有效证件后激活证件号码");
  Hwnd combo = desktop.Add("ComboBox", "", d);
  dialogs.ScanFormStep();
  dialogs.ScanFormStep();
  EXPECT_EQ(desktop.actions, Actions{"select " + std::to_string(combo) + " 1"});
  EXPECT_EQ(LogLines("ScanFormWnd=" + std::to_string(d) + " ComBoxWnd=" + std::to_string(combo)), 1);
  desktop.Remove(d);
  Hwnd next = desktop.Add("#32770", "请如实核对上网人本人有效证件后激活证件号码");
  Hwnd nextCombo = desktop.Add("ComboBox", "", next);
  dialogs.ScanFormStep();
  EXPECT_EQ(desktop.actions.back(), "select " + std::to_string(nextCombo) + " 1");
}

TEST_F(DialogFixture, PointsWindowGetsFirstOptionThenTabOncePerWindow) {
  Hwnd w = desktop.Add("TFrmPoints", "积分&奖励操作");
  Hwnd group = desktop.Add("TRadioGroup", "", w);
  Hwnd option = desktop.Add("TGroupButton", "积分", group);
  desktop.Add("TGroupButton", "奖励", group);
  Hwnd edit = desktop.Add("TEdit", "", w);
  dialogs.PointsWindowStep();
  dialogs.PointsWindowStep();
  EXPECT_EQ(desktop.actions, (Actions{"click " + std::to_string(option),
                                      "foreground " + std::to_string(w), "key 9"}));
  EXPECT_EQ(clock.waits, std::vector<int>{200});
  EXPECT_EQ(LogLines(Format("PointsWnd=%d,RadioGrp=%d,GroupBtn=%d,Edit=%d", (int)w, (int)group,
                            (int)option, (int)edit)), 1);
}

TEST_F(DialogFixture, PointsWindowWithoutItsChildrenPressesNothing) {
  // A child search in a missing group must not fall back to top-level windows.
  desktop.Add("TGroupButton", "stray top-level button");
  desktop.Add("TFrmPoints", "积分&奖励操作");
  dialogs.PointsWindowStep();
  for (const auto& action : desktop.actions) EXPECT_EQ(action.rfind("click", 0), std::string::npos);
  EXPECT_EQ(LogLines("RadioGrp=0,GroupBtn=0,Edit=0"), 1);
}

TEST_F(DialogFixture, ErrorBoxesAreLoggedOncePerBoxAndLeftOpen) {
  Hwnd vc = desktop.Add("#32770", "Microsoft Visual C++ Runtime Library");
  Hwnd svr = desktop.Add("#32770", "rwySvr.exe - 应用程序错误");
  for (int i = 0; i < 3; ++i) {
    dialogs.RuntimeLibraryErrorStep();
    dialogs.ServerErrorStep();
  }
  EXPECT_TRUE(desktop.actions.empty());
  EXPECT_EQ(LogLines("VcErrWnd=" + std::to_string(vc) + ",lastVcErrWnd=0"), 1);
  EXPECT_EQ(LogLines("SvrErrWnd=" + std::to_string(svr) + ",lastSvrErrWnd=0"), 1);
  desktop.Remove(vc);
  Hwnd vc2 = desktop.Add("#32770", "Microsoft Visual C++ Runtime Library");
  dialogs.RuntimeLibraryErrorStep();
  EXPECT_EQ(LogLines(Format("VcErrWnd=%d,lastVcErrWnd=%d", (int)vc2, (int)vc)), 1);
}

TEST_F(DialogFixture, SerialPortAndSecurityBoxesAreAnsweredOnlyWithTheirChild) {
  Hwnd other = desktop.Add("#32770", "Orv计费系统");
  desktop.Add("Static", "别的提示", other);
  Hwnd com = desktop.Add("#32770", "Orv计费系统");
  desktop.Add("Static", "打开串口1失败，此串口不存在或者已被别的进程占用!", com);
  Hwnd safe = desktop.Add("#32770", "安全警报");
  Hwnd yes = desktop.Add("Button", "是(&Y)", safe);
  dialogs.SerialPortErrorStep();  // finds the first "Orv计费系统" only, which lacks the text
  dialogs.SecurityAlertStep();
  EXPECT_EQ(desktop.actions, Actions{"click " + std::to_string(yes)});
  desktop.Remove(other);
  dialogs.SerialPortErrorStep();
  EXPECT_EQ(desktop.actions.back(), "close " + std::to_string(com));
}

TEST_F(DialogFixture, SwipeErrorBoxClosesTheVisibleHandoverWindowThenItself) {
  Hwnd handover = desktop.Add("TFrmJiaoBan", "交班");
  Hwnd box = desktop.Add("#32770", "Orv网络计费系统 v7-主收银台");
  Hwnd text = desktop.Add("Static", "交班或设置期间不允许刷卡。请关闭交班窗口再试", box);
  dialogs.SwipeErrorStep();
  EXPECT_EQ(desktop.actions,
            (Actions{"close " + std::to_string(handover), "close " + std::to_string(box)}));
  EXPECT_EQ(LogLines(Format("ErrBoxWnd=%d JiaoBanWnd=%d", (int)box, (int)handover)), 1);
  EXPECT_EQ(LogLines(Format("ErrBoxWnd=%d ComBoxWnd=%d", (int)box, (int)text)), 1);

  desktop.actions.clear();
  Hwnd hidden = desktop.Add("TFrmJiaoBan", "交班");
  desktop.Get(hidden).visible = false;
  Hwnd photo = desktop.Add("#32770", "Orv网络计费系统 v7-主收银台");
  desktop.Add("Static", "加载图片失败，请关闭窗口重新刷卡", photo);
  Hwnd box2 = desktop.Add("#32770", "Orv网络计费系统 v7-主收银台");
  desktop.Add("Static", "交班或设置期间不允许刷卡。请关闭交班窗口再试", box2);
  dialogs.SwipeErrorStep();
  dialogs.SwipeErrorStep();
  EXPECT_EQ(desktop.actions,
            (Actions{"close " + std::to_string(photo), "close " + std::to_string(box2)}));
}

}  // namespace
