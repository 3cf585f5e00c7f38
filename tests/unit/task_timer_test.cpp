#include "app/task_timer.h"

#include <gtest/gtest.h>

#include "fakes/fake_desktop.h"
#include "util/literal_table.h"

namespace {

struct TaskFixture : ::testing::Test {
  FakeDesktop desktop;
  RuntimeSwitches switches;
  TCenterPar par;
  TaskTimer task{desktop, switches, par};
  int qrChecks = 0;
  int updates = 0;
  int selfUpdates = 0;
  int answer = 1;

  TaskFixture() {
    task.Hooks().checkQrCode = [this] { ++qrChecks; };
    // The answer comes back as the worker's result does: after the call.
    task.Hooks().callUpdate = [this] { ++updates; };
    task.Hooks().startSelfUpdate = [this] { ++selfUpdates; };
  }
  void Minutes(int n) {
    for (int i = 0; i < n; ++i) {
      const int before = updates;
      task.Timer_TaskTimer();
      if (updates != before) task.OnRefreshResult(answer);
    }
  }
};

TEST_F(TaskFixture, PostsCloseToTheStrayWindowOnly) {
  Hwnd other = desktop.Add("TForm", "Orv网络计费系统");
  Hwnd stray = desktop.Add("TForm", Literal(lit::kStrayWindowCaption));
  Minutes(1);
  EXPECT_EQ(desktop.actions, std::vector<std::string>{"postclose " + std::to_string(stray)});
  EXPECT_TRUE(desktop.Exists(other));
}

TEST_F(TaskFixture, ChecksTheQrCodeOnlyWithTheExtendedScreenAndTheCtidBit) {
  struct Case { int bits; int checks; };
  for (const Case c : {Case{kExtendedScreen, 0}, Case{kCtidWindow, 0},
                       Case{kExtendedScreen | kCtidWindow, 1}}) {
    qrChecks = 0;
    switches.Apply(c.bits);
    Minutes(1);
    EXPECT_EQ(qrChecks, c.checks) << c.bits;
  }
}

TEST_F(TaskFixture, RefreshesEveryParamRefreshMinutesAndStartsAnAnnouncedUpdate) {
  par.ParamRefreshMinutes = 3;
  Minutes(8);
  EXPECT_EQ(updates, 2);
  EXPECT_EQ(task.UpdateState(), 1);
  EXPECT_EQ(selfUpdates, 0);

  answer = 2;
  Minutes(1);
  EXPECT_EQ(updates, 3);
  EXPECT_EQ(task.UpdateState(), 2);
  EXPECT_EQ(selfUpdates, 1);
}

TEST_F(TaskFixture, APeriodOfOneOrLessRefreshesEveryMinute) {
  for (int period : {1, 0, -5}) {
    updates = 0;
    par.ParamRefreshMinutes = period;
    Minutes(3);
    EXPECT_EQ(updates, 3) << period;
  }
}

}  // namespace
