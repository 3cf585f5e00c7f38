#include "watcher/face_verification.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "fakes/fake_clock.h"
#include "fakes/fake_desktop.h"
#include "fakes/fake_face_check_form.h"
#include "fakes/fake_files.h"
#include "fakes/fake_registry.h"
#include "fakes/fake_sound.h"
#include "log/activity_log.h"
#include "settings/run_params.h"
#include "util/literal_table.h"
#include "util/text.h"
#include "watcher/placement.h"
#include "watcher/watch_cycle.h"

namespace {

// Waits go into the desktop's list too, so a test sees sounds, waits and
// window actions in the order they happened.
struct TimelineClock : FakeClock {
  std::vector<std::string>* actions = nullptr;
  void DelayWithMessages(int milliseconds) override {
    FakeClock::DelayWithMessages(milliseconds);
    actions->push_back("wait " + std::to_string(milliseconds));
  }
};

struct FaceFixture : ::testing::Test {
  FakeDesktop desktop;
  TimelineClock clock;
  FakeSound sound{&desktop.actions};
  FakeRegistry registry;
  FakeFiles files;
  ActivityLog log{files, clock};
  FakeFaceCheckForm form{desktop};
  TCenterPar par;
  RuntimeSwitches switches;
  FaceVerification face{{desktop, clock, sound, registry, log, form}, par, switches};

  const std::string caption = Literal(lit::kFaceDialogCaption);
  Hwnd dialog = 0, button = 0, edit = 0, preview = 0;

  FaceFixture() {
    clock.actions = &desktop.actions;
    files.folders.insert("C:\\T\\LOGS\\");
    log.SetSwitch(true, "C:\\T\\");
  }

  // The audit client's dialog: the button carries the dialog's caption, the
  // edit the swiped ID, an empty-captioned static the camera picture.
  void OpenDialog(const char* id = "44010619900101123X") {
    dialog = desktop.Add("#32770", caption);
    desktop.Add("Static", "请正视摄像头", dialog);
    button = desktop.Add("Button", caption, dialog);
    edit = desktop.Add("Edit", id, dialog);
    preview = desktop.Add("Static", "", dialog);
    desktop.Get(button).clientLeft = 230;
    desktop.Get(button).clientTop = 410;
  }
  std::string H(Hwnd h) { return std::to_string(h); }
  std::vector<std::string> LogLines() {
    std::vector<std::string> lines;
    const std::string& text = files.files["C:\\T\\LOGS\\2024-03-07.TXT"];
    for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
      lines.push_back(text.substr(start + 23, end - start - 23));
    return lines;
  }
  std::vector<std::string> LinesWith(const std::string& needle) {
    std::vector<std::string> out;
    for (const auto& l : LogLines())
      if (l.find(needle) != std::string::npos) out.push_back(l);
    return out;
  }
  int Count(const std::string& action) {
    return static_cast<int>(std::count(desktop.actions.begin(), desktop.actions.end(), action));
  }
  std::string PressLine(long long result, int x, int y, const std::string& id) {
    return Format("FaceDlg=%llu,Btn=%llu,BtnStyle=%d,ClickRet=%lld,ClickPt=%d.%d,IdEdit=%llu,CID=%s",
                  (unsigned long long)dialog, (unsigned long long)button, 0x50010000, result, x, y,
                  (unsigned long long)edit, id.c_str());
  }
};

TEST_F(FaceFixture, ClickModesPressByMessageByMouseOrNotAtAll) {
  struct Case {
    int mode;
    std::vector<std::string> press;  // actions before the prompt
    long long result;
    int x, y;
  };
  const std::vector<Case> cases = {
      {1, {"wait 101", "foreground D", "wait 50", "click B"}, 0, 0, 0},
      {2, {"wait 101", "foreground D", "wait 50", "cursor 265,415", "mouse 2", "mouse 4"}, 1, 230, 410},
      {5, {"wait 101", "foreground D", "wait 50", "cursor 265,415", "mouse 2", "mouse 4"}, 1, 230, 410},
      {0, {}, -1, 0, 0},
      {-3, {}, -1, 0, 0},
  };
  OpenDialog();
  for (const Case& c : cases) {
    desktop.actions.clear();
    files.files.clear();
    FaceVerification f{{desktop, clock, sound, registry, log, form}, par, switches};
    par.FaceClickMode = c.mode;
    desktop.Get(button).enabled = false;  // verified at once: no retry
    EXPECT_FALSE(f.Run());
    std::vector<std::string> expected;
    for (std::string a : c.press) {
      if (a == "foreground D") a = "foreground " + H(dialog);
      if (a == "click B") a = "click " + H(button);
      expected.push_back(a);
    }
    expected.push_back("sound WAV:FACE");
    expected.push_back("wait 1000");
    EXPECT_EQ(desktop.actions, expected) << c.mode;
    EXPECT_EQ(LogLines(), (std::vector<std::string>{PressLine(c.result, c.x, c.y, "44010619900101123X"),
                                                    "PayWav=1"}))
        << c.mode;
  }
}

TEST_F(FaceFixture, ButtonThatStaysEnabledIsPressedTwiceAndAlertedOnce) {
  OpenDialog();
  for (int tick = 0; tick < 5; ++tick) face.Run();
  EXPECT_EQ(Count("click " + H(button)), 2);
  EXPECT_EQ(Count("sound WAV:FACE"), 2);
  EXPECT_EQ(Count("frame " + H(button)), 1);
  EXPECT_EQ(face.TryFaceVeifyCount, 5);
  // ERROR, the frame, then RETRY, each sound with its wait.
  auto error = std::find(desktop.actions.begin(), desktop.actions.end(), "sound WAV:ERROR");
  ASSERT_NE(error, desktop.actions.end());
  EXPECT_EQ(std::vector<std::string>(error, error + 5),
            (std::vector<std::string>{"sound WAV:ERROR", "wait 900", "frame " + H(button),
                                      "sound WAV:RETRY", "wait 800"}));
  EXPECT_EQ(LinesWith("TryFaceVeifyCount"),
            (std::vector<std::string>{"TryFaceVeifyCount=2,BtnStyle=1342242816",
                                      "eTryFaceVeifyCount=3,BtnStyle=1342242816,srcWin.X=0,srcWin.Y=0"}));
}

TEST_F(FaceFixture, DisabledButtonGetsNoRetryAndNoAlert) {
  OpenDialog();
  desktop.Get(button).enabled = false;
  for (int tick = 0; tick < 3; ++tick) face.Run();
  EXPECT_EQ(Count("click " + H(button)), 1);
  EXPECT_EQ(Count("frame " + H(button)), 0);
  EXPECT_TRUE(LinesWith("TryFaceVeifyCount").empty());
}

TEST_F(FaceFixture, DialogWithoutAButtonIsLoggedButNothingIsPressed) {
  for (int mode : {1, 2}) {
    if (dialog) desktop.Remove(dialog);
    desktop.actions.clear();
    files.files.clear();
    FaceVerification f{{desktop, clock, sound, registry, log, form}, par, switches};
    par.FaceClickMode = mode;
    dialog = desktop.Add("#32770", caption);
    edit = desktop.Add("Edit", "440106199001011234", dialog);
    button = 0;
    f.Run();
    f.Run();
    for (const auto& a : desktop.actions) {
      EXPECT_EQ(a.find("click"), std::string::npos) << mode;
      EXPECT_EQ(a.find("mouse"), std::string::npos) << mode;
      EXPECT_EQ(a.find("frame"), std::string::npos) << mode;
    }
    EXPECT_EQ(LinesWith("FaceDlg=")[0],
              Format("FaceDlg=%llu,Btn=0,BtnStyle=0,ClickRet=0,ClickPt=0.0,IdEdit=%llu,CID=440106199001011234",
                     (unsigned long long)dialog, (unsigned long long)edit)) << mode;
    EXPECT_EQ(LinesWith("FaceDlg=").size(), 1u) << mode;  // no retry without a button
  }
}

TEST_F(FaceFixture, FaceFormShownAtTheRememberedPlaceOnlyWithBothSwitches) {
  struct Case {
    int bits;
    const char* stored;  // "FaceVeifyWin"; nullptr: absent
    bool shown;
    const char* line;    // nullptr: no line
  } cases[] = {
      {kExtendedScreen | kFaceWindow, nullptr, true, "srcWin.X=0,srcWin.Y=0,FaceVeifyWin.x=1024,FaceVeifyWin.y=150"},
      {kExtendedScreen | kFaceWindow, "2100.80", true, "srcWin.X=0,srcWin.Y=0,FaceVeifyWin.x=2100,FaceVeifyWin.y=80"},
      {kExtendedScreen | kFaceWindow, "-100.100", false, "srcWin.X=0,srcWin.Y=0,FaceVeifyWin.x=-100,FaceVeifyWin.y=100"},
      {kExtendedScreen | kFaceWindow, "junk", false, "srcWin.X=0,srcWin.Y=0,FaceVeifyWin.x=0,FaceVeifyWin.y=0"},
      {kFaceWindow, nullptr, false, nullptr},
      {kExtendedScreen, nullptr, false, nullptr},
  };
  for (const Case& c : cases) {
    FakeDesktop d;
    FakeFaceCheckForm fm{d};
    FakeRegistry r;
    FakeSound s{&d.actions};
    files.files.clear();
    if (c.stored) r.Set(RegistryRoot::CurrentUser, Literal(lit::kAppKeyPath), "FaceVeifyWin", std::string(c.stored));
    switches.Apply(c.bits);
    FaceVerification f{{d, clock, s, r, log, fm}, par, switches};
    clock.actions = &d.actions;
    Hwnd dlg = d.Add("#32770", caption);
    d.Add("Button", caption, dlg);
    d.Add("Edit", "44010619900101123X", dlg);
    d.Add("Static", "", dlg);
    f.Run();
    EXPECT_EQ(fm.IsShown(), c.shown) << c.bits << " " << (c.stored ? c.stored : "-");
    EXPECT_EQ(fm.timer2, c.shown);
    EXPECT_EQ(fm.idText, c.shown ? "44010619900101123X" : "");
    EXPECT_EQ(LinesWith("srcWin.X=0,srcWin.Y=0,FaceVeifyWin").size(), c.line ? 1u : 0u);
    if (c.line) {
      EXPECT_EQ(LinesWith("FaceVeifyWin")[0], c.line);
    }
    EXPECT_EQ(LinesWith("PayWav=1").size(), 1u);  // the prompt plays in every case
    if (c.shown) {
      const std::string pos = c.stored ? "2100,80" : "1024,150";
      // Shown first, then moved topmost without size or activation, and
      // only then is the prompt heard.
      auto show = std::find(d.actions.begin(), d.actions.end(), "form show");
      ASSERT_NE(show, d.actions.end());
      EXPECT_EQ(*(show + 1), "setpos " + std::to_string(fm.Handle()) + " -1 " + pos + " 3x4 17");
      EXPECT_EQ(*(show + 2), "sound WAV:FACE");
    }
  }
}

TEST_F(FaceFixture, FaceFormFollowsTheDialogAndIsHiddenTheTickAfterItGoes) {
  switches.Apply(kExtendedScreen | kFaceWindow);
  OpenDialog();
  face.Run();
  EXPECT_EQ(form.preview, preview);  // the empty-captioned static, not the one with text
  face.Run();  // the retry press shows nothing new
  EXPECT_EQ(Count("form show"), 1);

  desktop.Remove(dialog);
  face.Run();
  EXPECT_FALSE(form.IsShown());
  EXPECT_FALSE(form.timer2);
  EXPECT_EQ(form.idText, "");
  EXPECT_EQ(face.TryFaceVeifyCount, 0);

  OpenDialog("110101199003077777");  // the next customer
  face.Run();
  EXPECT_TRUE(form.IsShown());
  EXPECT_EQ(form.idText, "110101199003077777");
  EXPECT_EQ(Count("form show"), 2);
}

// The form hidden another way than by the step (the cashier's close box)
// while its Timer2 still runs: the step still lets go of it.
TEST_F(FaceFixture, FormHiddenByHandIsLetGoOnceTheDialogGoes) {
  switches.Apply(kExtendedScreen | kFaceWindow);
  OpenDialog("44010619900101123X");
  face.Run();
  ASSERT_TRUE(form.timer2);
  desktop.Get(form.Handle()).visible = false;
  desktop.Remove(dialog);
  face.Run();
  EXPECT_FALSE(form.timer2);
  EXPECT_EQ(form.idText, "");
  EXPECT_EQ(Count("form hide"), 1);
  face.Run();  // nothing left to let go of
  EXPECT_EQ(Count("form hide"), 1);
}

TEST_F(FaceFixture, HiddenDialogCountsAsGone) {
  switches.Apply(kExtendedScreen | kFaceWindow);
  OpenDialog();
  face.Run();
  desktop.Get(dialog).visible = false;
  desktop.actions.clear();
  face.Run();
  EXPECT_EQ(desktop.actions, (std::vector<std::string>{"form hide"}));
  EXPECT_FALSE(form.timer2);
}

TEST_F(FaceFixture, DialogReplacedBetweenTicksStartsItsOwnRetryCountAndForm) {
  switches.Apply(kExtendedScreen | kFaceWindow);
  OpenDialog("44010619900101123X");
  Hwnd first = dialog, firstButton = button;
  face.Run();  // pressed once, button still enabled
  desktop.Remove(first);
  OpenDialog("110101199003077777");  // opened before the next tick
  face.Run();
  EXPECT_EQ(Count("frame " + H(firstButton)), 0);
  EXPECT_EQ(Count("frame " + H(button)), 0);  // its first press: no alert yet
  EXPECT_EQ(form.idText, "110101199003077777");
  EXPECT_EQ(LinesWith("TryFaceVeifyCount=2").size(), 2u);
  face.Run();
  EXPECT_EQ(Count("frame " + H(button)), 1);
}

TEST_F(FaceFixture, ABlacklistedNextCustomerNeverSeesThePreviousCustomersId) {
  switches.Apply(kExtendedScreen | kFaceWindow);
  OpenDialog("44010619900101123X");
  face.Run();
  ASSERT_TRUE(form.IsShown());
  desktop.Remove(dialog);
  OpenDialog("110101199003077777");  // opened before the next tick, and on the blacklist
  face.SetBlacklistCheck([](Hwnd, Hwnd, Hwnd) { return true; });
  EXPECT_TRUE(face.Run());
  EXPECT_FALSE(form.IsShown());
  EXPECT_EQ(form.idText, "");
}

TEST_F(FaceFixture, BlacklistHitEndsTheStepBeforeAnythingIsPressed) {
  switches.Apply(kExtendedScreen | kFaceWindow);
  OpenDialog();
  std::vector<std::vector<Hwnd>> calls;
  bool hit = true;
  face.SetBlacklistCheck([&](Hwnd d, Hwnd b, Hwnd e) {
    calls.push_back({d, b, e});
    return hit;
  });
  EXPECT_TRUE(face.Run());
  EXPECT_TRUE(desktop.actions.empty());
  EXPECT_TRUE(LogLines().empty());
  EXPECT_EQ(calls, (std::vector<std::vector<Hwnd>>{{dialog, button, edit}}));

  hit = false;
  EXPECT_FALSE(face.Run());  // pressed now
  EXPECT_FALSE(face.Run());  // the retry press asks again
  desktop.Get(button).enabled = false;
  EXPECT_FALSE(face.Run());  // same dialog, already pressed: not asked
  EXPECT_EQ(calls.size(), 3u);
  EXPECT_EQ(Count("click " + H(button)), 2);
}

TEST_F(FaceFixture, CustomFaceSoundReplacesThePromptWhenItHadASizeAtStart) {
  struct Case { long long size; bool starts; const char* played; int result; } cases[] = {
      {4096, true, "sound C:\\T\\FaceTip.wav", 1},
      {4096, false, nullptr, 0},  // deleted after start: nothing, but the wait stays
      {0, true, "sound WAV:FACE", 1},
  };
  for (const Case& c : cases) {
    if (dialog) desktop.Remove(dialog);
    desktop.actions.clear();
    files.files.clear();
    sound.fileStarts = c.starts;
    FaceVerification f{{desktop, clock, sound, registry, log, form}, par, switches};
    f.SetCustomFaceSound("C:\\T\\FaceTip.wav", c.size);
    OpenDialog();
    desktop.Get(button).enabled = false;
    f.Run();
    std::vector<std::string> tail(desktop.actions.end() - (c.played ? 2 : 1), desktop.actions.end());
    std::vector<std::string> expected;
    if (c.played) expected.push_back(c.played);
    expected.push_back("wait 1000");
    EXPECT_EQ(tail, expected) << c.size << c.starts;
    EXPECT_EQ(LinesWith("PayWav=").back(), "PayWav=" + std::to_string(c.result));
  }
}

TEST_F(FaceFixture, DialogVanishingBetweenSearchAndPressIsNoHarm) {
  switches.Apply(kExtendedScreen | kFaceWindow);
  par.FaceClickMode = 2;
  OpenDialog();
  // The audit client closes the dialog while the step is on its way.
  face.SetBlacklistCheck([&](Hwnd d, Hwnd, Hwnd) {
    desktop.Remove(d);
    return false;
  });
  EXPECT_FALSE(face.Run());
  for (const auto& a : desktop.actions) EXPECT_EQ(a.find("mouse"), std::string::npos);
  EXPECT_EQ(LinesWith("ClickRet=0,ClickPt=0.0").size(), 1u);
  EXPECT_EQ(Count("frame " + H(button)), 0);
  face.Run();
  EXPECT_FALSE(form.IsShown());
}

}  // namespace

namespace {

TEST_F(FaceFixture, BlacklistHitInTheWatchCycleLeavesTheLaterStepsForTheNextTick) {
  // Wired as the assistant wires it: step 3 is the face step, step 11 the placement.
  switches.Apply(kExtendedScreen | kFaceWindow);
  WatchCycle cycle{desktop, clock, log, switches};
  ExtendedScreenPlacement placement{desktop, registry, log, switches};
  cycle.Hooks().faceVerification = [this] { return face.Run(); };
  cycle.Hooks().placeHandoverAndQrWindows = [&] { placement.PlaceHandoverAndQrWindows(); };
  bool blacklisted = true;
  face.SetBlacklistCheck([&](Hwnd, Hwnd, Hwnd) { return blacklisted; });
  OpenDialog();
  Hwnd handover = desktop.Add("TFrmJiaoBan", "交班");

  cycle.RunWatchCycle();
  EXPECT_EQ(Count("setpos " + H(handover) + " -2 514,258 3x4 17"), 0);
  EXPECT_EQ(Count("click " + H(button)), 0);

  blacklisted = false;
  cycle.RunWatchCycle();
  EXPECT_EQ(Count("click " + H(button)), 1);
  EXPECT_EQ(Count("setpos " + H(handover) + " -2 514,258 3x4 17"), 1);
}

}  // namespace
