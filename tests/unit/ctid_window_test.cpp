#include "watcher/ctid_window.h"

#include <gtest/gtest.h>

#include "fakes/fake_clock.h"
#include "fakes/fake_desktop.h"
#include "fakes/fake_files.h"
#include "fakes/fake_page_reader.h"
#include "fakes/fake_registry.h"
#include "log/activity_log.h"
#include "util/literal_table.h"

namespace {

using Actions = std::vector<std::string>;

//  CTID window "网证CTID扫码上机"
//  ├─ Button "关闭"              first button: the countdown shows here
//  ├─ Button (refresh caption)
//  └─ Shell Embedding
//     └─ Shell DocObject View
//        └─ Internet Explorer_Server   the page
struct CtidFixture : ::testing::Test {
  FakeDesktop desktop;
  FakeRegistry registry;
  FakeClock clock;
  FakeFiles files;
  ActivityLog log{files, clock};
  FakePageReader page;
  RuntimeSwitches switches;
  TCenterPar par;
  CtidWindow ctid{desktop, registry, log, page, switches, par};

  Hwnd window = 0, first = 0, refresh = 0, host = 0, view = 0, browser = 0;

  CtidFixture() {
    files.folders.insert("C:\\T\\LOGS\\");
    log.SetSwitch(true, "C:\\T\\");
    switches.Apply(kExtendedScreen | kCtidWindow);
    ctid.SetHotKeyRegistered(true);
  }

  void AddWindow(const std::string& caption = kCtidCaption, const std::string& refreshCaption = "刷新",
                 bool withPage = true) {
    window = desktop.Add("TFormCTID", caption);
    first = desktop.Add("Button", "关闭", window);
    refresh = desktop.Add("Button", refreshCaption, window);
    if (!withPage) return;
    host = desktop.Add("Shell Embedding", "", window);
    view = desktop.Add("Shell DocObject View", "", host);
    browser = desktop.Add("Internet Explorer_Server", "", view);
  }
  void Remember(const std::string& position) {
    registry.Set(RegistryRoot::CurrentUser, Literal(lit::kAppKeyPath), "CTIDWin", position);
  }
  Actions Taken(const std::string& kind) const {
    Actions out;
    for (const auto& a : desktop.actions)
      if (a.rfind(kind + " ", 0) == 0) out.push_back(a);
    return out;
  }
  std::string LogText() { return files.files["C:\\T\\LOGS\\2024-03-07.TXT"]; }
  int LogLines(const std::string& needle) {
    int n = 0;
    const std::string text = LogText();
    for (auto pos = text.find(needle); pos != std::string::npos; pos = text.find(needle, pos + 1)) ++n;
    return n;
  }
  std::string H(Hwnd h) const { return std::to_string(h); }
};

TEST_F(CtidFixture, FindPrefersTheCtidCaptionOverTheRzxOne) {
  EXPECT_EQ(ctid.Find_CTIDWin(), 0u);
  const Hwnd rzx = desktop.Add("TFormRzx", kCtidCaptionRzx);
  desktop.Add("TFormOther", "网证CTID扫码上机 ");  // a caption must match exactly
  EXPECT_EQ(ctid.Find_CTIDWin(), rzx);
  const Hwnd main = desktop.Add("TFormCTID", kCtidCaption);
  EXPECT_EQ(ctid.Find_CTIDWin(), main);
}

TEST_F(CtidFixture, MovedTopmostOncePerAppearance) {
  AddWindow();
  page.elements = {"<img>", "<input name=certToken>"};
  Remember("1280.100");
  for (int i = 0; i < 3; ++i) ctid.Move_CTIDWin(kCtidAutomatic);
  EXPECT_EQ(Taken("setpos"), Actions{"setpos " + H(window) + " -1 1280,100 3x4 17"});
  EXPECT_EQ(LogLines("CTIDWinOK=1,QRCode=18,CTIDWin.x=1280,CTIDWin.y=100\r\n"), 1);

  // Hidden, then shown again: a new appearance, placed again; a position
  // saved meanwhile applies.
  desktop.Get(window).visible = false;
  ctid.Move_CTIDWin(kCtidAutomatic);
  Remember("1300.-20");
  desktop.Get(window).visible = true;
  ctid.Move_CTIDWin(kCtidAutomatic);
  ctid.Move_CTIDWin(kCtidAutomatic);
  EXPECT_EQ(Taken("setpos"), (Actions{"setpos " + H(window) + " -1 1280,100 3x4 17",
                                     "setpos " + H(window) + " -1 1300,-20 3x4 17"}));
}

TEST_F(CtidFixture, AWindowReplacedBetweenTwoCyclesIsANewAppearance) {
  // The client closes its window and opens another before the next cycle:
  // no cycle sees it hidden, yet the new one must be placed and returned.
  switches.Apply(kExtendedScreen | kCtidWindow | kCtidReturn);
  par.CtidReturnDelay = 1;
  AddWindow();
  Remember("1280.100");
  const Hwnd old = window;
  ctid.Move_CTIDWin(kCtidAutomatic);
  ctid.AutoReturnStep(true);
  desktop.Remove(old);
  AddWindow();
  ctid.Move_CTIDWin(kCtidAutomatic);
  ctid.AutoReturnStep(true);
  ctid.Move_CTIDWin(kCtidAutomatic);
  ctid.AutoReturnStep(true);
  EXPECT_EQ(Taken("setpos"), (Actions{"setpos " + H(old) + " -1 1280,100 3x4 17", "setpos " + H(old) + " -2 1690,740 3x4 17",
                                     "setpos " + H(window) + " -1 1280,100 3x4 17",
                                     "setpos " + H(window) + " -2 1690,740 3x4 17"}));
}

TEST_F(CtidFixture, PositionsThatMeanNoneRememberedLeaveTheWindowAndCheckEveryCycle) {
  struct Case {
    const char* stored;  // nullptr: the value is missing
    int x, y;
  };
  const Case cases[] = {
      {nullptr, 0, 0}, {"0.0", 0, 0}, {"-40.40", -40, 40}, {"1280", 0, 0}, {"abc.def", 0, 0}, {"", 0, 0},
  };
  for (const Case& c : cases) {
    desktop = FakeDesktop{};
    registry = FakeRegistry{};
    files.files.clear();
    AddWindow();
    if (c.stored) Remember(c.stored);
    for (int i = 0; i < 3; ++i) ctid.Move_CTIDWin(kCtidAutomatic);
    const std::string line = "CTIDWinOK=0,QRCode=0,CTIDWin.x=" + std::to_string(c.x) +
                             ",CTIDWin.y=" + std::to_string(c.y) + "\r\n";
    EXPECT_EQ(Taken("setpos"), Actions{}) << (c.stored ? c.stored : "(missing)");
    EXPECT_EQ(LogLines(line), 3) << (c.stored ? c.stored : "(missing)");
  }
}

TEST_F(CtidFixture, PositionsWhoseSumWouldWrapAroundStillCount) {
  // 2000000000 + 2000000000 does not fit 32 bits; summed narrow it could
  // come out as anything, 0 included.
  AddWindow();
  Remember("2147483647.-2147483647");
  ctid.Move_CTIDWin(kCtidAutomatic);
  EXPECT_EQ(Taken("setpos"), Actions{});
  Remember("2000000000.2000000000");
  ctid.Move_CTIDWin(kCtidAutomatic);
  EXPECT_EQ(Taken("setpos"), Actions{"setpos " + H(window) + " -1 2000000000,2000000000 3x4 17"});
}

TEST_F(CtidFixture, ARefusedMoveIsTriedAgainNextCycle) {
  AddWindow();
  Remember("1280.100");
  desktop.refuseMoves = true;
  ctid.Move_CTIDWin(kCtidAutomatic);
  ctid.Move_CTIDWin(kCtidAutomatic);
  EXPECT_EQ(Taken("setpos").size(), 2u);
  EXPECT_EQ(LogLines("CTIDWinOK=0,"), 2);
}

TEST_F(CtidFixture, CheckResultCodes) {
  struct Case {
    const char* what;
    std::function<void(CtidFixture&)> arrange;
    int result;  // -100: the plain variant's static
  };
  const Case cases[] = {
      {"no window", [](CtidFixture&) {}, -1},
      {"hidden window", [](CtidFixture& f) { f.AddWindow(); f.desktop.Get(f.window).visible = false; }, -1},
      {"no host, no static", [](CtidFixture& f) { f.AddWindow(kCtidCaption, "刷新", false); }, -2},
      {"host without view", [](CtidFixture& f) {
         f.AddWindow(kCtidCaption, "刷新", false);
         f.desktop.Add("Shell Embedding", "", f.window);
       }, -3},
      {"view without browser", [](CtidFixture& f) {
         f.AddWindow(kCtidCaption, "刷新", false);
         f.desktop.Add("Shell DocObject View", "", f.desktop.Add("Shell Embedding", "", f.window));
       }, -4},
      {"no document", [](CtidFixture& f) { f.AddWindow(); f.page.outcome = PageRead::Outcome::NoDocument; }, -5},
      {"page failed", [](CtidFixture& f) { f.AddWindow(); f.page.outcome = PageRead::Outcome::Failed; }, -6},
      {"empty page", [](CtidFixture& f) { f.AddWindow(); }, 0},
      {"ticket in lower case", [](CtidFixture& f) { f.AddWindow(); f.page.elements = {"certtoken"}; }, 0},
      {"ticket", [](CtidFixture& f) { f.AddWindow(); f.page.elements = {"<b>", "x certToken"}; }, 6},
      {"ticket split over elements", [](CtidFixture& f) { f.AddWindow(); f.page.elements = {"cert", "Token"}; }, 1},
      {"the Rzx caption", [](CtidFixture& f) { f.AddWindow(kCtidCaptionRzx); f.page.elements = {"certToken"}; }, 1},
      {"plain variant", [](CtidFixture& f) {
         f.AddWindow(kCtidCaption, "刷新", false);
         f.desktop.Add("Static", "", f.window);
       }, -100},
  };
  for (const Case& c : cases) {
    desktop = FakeDesktop{};
    page = FakePageReader{};
    c.arrange(*this);
    const Hwnd plain = window ? desktop.FindChild(window, "Static", nullptr) : 0;
    const int expected = c.result == -100 ? static_cast<int>(plain) : c.result;
    EXPECT_EQ(ctid.Check_QRCode(kCtidAutomatic), expected) << c.what;
  }
}

TEST_F(CtidFixture, AutomaticCheckClicksRefreshOnlyWhenTheTicketIsMissing) {
  AddWindow();
  desktop.clickAnswer = 0;
  EXPECT_EQ(ctid.Check_QRCode(kCtidAutomatic), 0);
  EXPECT_EQ(Taken("click"), Actions{"click " + H(refresh)});
  EXPECT_EQ(Taken("beep"), Actions{"beep 1000 500"});
  EXPECT_EQ(LogLines("certToken=0,Auto Refresh=0\r\n"), 1);

  desktop.actions.clear();
  page.elements = {"certToken"};
  EXPECT_EQ(ctid.Check_QRCode(kCtidAutomatic), 1);
  page.outcome = PageRead::Outcome::Failed;
  EXPECT_EQ(ctid.Check_QRCode(kCtidAutomatic), -6);
  page.outcome = PageRead::Outcome::NoDocument;
  EXPECT_EQ(ctid.Check_QRCode(kCtidAutomatic), -5);
  EXPECT_EQ(Taken("click"), Actions{});
  EXPECT_EQ(Taken("beep"), Actions{});
  EXPECT_EQ(LogLines("QrocdeErr:0 / 1460|WM_HTML_GETOBJECT not answered\r\n"), 1);
}

TEST_F(CtidFixture, ReadingStopsOnceTheTicketIsFound) {
  AddWindow();
  page.elements.assign(5000, "<div>nothing here</div>");
  page.elements[2] = "<input name=certToken>";
  EXPECT_EQ(ctid.Check_QRCode(kCtidAutomatic), 2 * 23 + 13);
  EXPECT_EQ(page.elementsRead, 3);
}

TEST_F(CtidFixture, RefreshButtonCaptionsInOrderAndTheF11Caption) {
  struct Case {
    std::vector<std::string> buttons;  // captions after the first button
    bool hotKey;
    int clicked;                       // index into buttons, -1: none
    bool recaptioned;
  };
  const Case cases[] = {
      {{"刷新"}, true, 0, true},
      {{"F11刷新"}, true, 0, true},
      {{"刷新（F11）"}, true, 0, false},
      {{"刷新", "F11刷新"}, true, 1, true},
      {{"刷新", "F11刷新", "刷新（F11）"}, true, 2, false},
      {{"刷新"}, false, 0, false},
      {{"Refresh"}, true, -1, false},
  };
  for (const Case& c : cases) {
    desktop = FakeDesktop{};
    page = FakePageReader{};
    window = desktop.Add("TFormCTID", kCtidCaption);
    desktop.Add("Button", "关闭", window);
    std::vector<Hwnd> buttons;
    for (const auto& caption : c.buttons) buttons.push_back(desktop.Add("Button", caption, window));
    desktop.Add("Shell DocObject View", "", host = desktop.Add("Shell Embedding", "", window));
    desktop.Add("Internet Explorer_Server", "", desktop.FindChild(host, "Shell DocObject View", nullptr));
    ctid.SetHotKeyRegistered(c.hotKey);
    ctid.Check_QRCode(kCtidAutomatic);

    const std::string what = c.buttons.back() + (c.hotKey ? " with F11" : " without F11");
    const Actions clicks = c.clicked < 0 ? Actions{} : Actions{"click " + H(buttons[c.clicked])};
    EXPECT_EQ(Taken("click"), clicks) << what;
    const Actions captions =
        c.recaptioned ? Actions{"settext " + H(buttons[c.clicked]) + " 刷新（F11）"} : Actions{};
    EXPECT_EQ(Taken("settext"), captions) << what;
  }
}

TEST_F(CtidFixture, HotKeyModeBeepsClicksRefreshAndReadsNoPage) {
  struct Case {
    const char* what;
    bool withPage;
    bool withStatic;
    bool withRefresh;
  };
  const Case cases[] = {
      {"browser page", true, false, true},
      {"plain variant", false, true, true},
      {"no refresh button", true, false, false},
  };
  for (const Case& c : cases) {
    desktop = FakeDesktop{};
    page = FakePageReader{};
    files.files.clear();
    AddWindow(kCtidCaption, c.withRefresh ? "刷新" : "Other", c.withPage);
    if (c.withStatic) desktop.Add("Static", "", window);
    desktop.clickAnswer = 7;
    const int result = ctid.Check_QRCode(kCtidByHotKey);

    EXPECT_EQ(Taken("beep"), Actions{"beep 800 500"}) << c.what;
    EXPECT_TRUE(page.asked.empty()) << c.what;
    if (c.withRefresh) {
      EXPECT_EQ(result, 7) << c.what;
      EXPECT_EQ(Taken("click"), Actions{"click " + H(refresh)}) << c.what;
      EXPECT_EQ(LogLines("HotKey ReBtn=" + H(refresh) + ",Refresh=7\r\n"), 1) << c.what;
    } else {
      EXPECT_EQ(result, 0) << c.what;
      EXPECT_EQ(Taken("click"), Actions{}) << c.what;
      EXPECT_EQ(LogLines("HotKey ReBtn=0,Refresh=0\r\n"), 1) << c.what;
    }
  }
}

TEST_F(CtidFixture, PlainVariantIsLoggedAndNotClickedAutomatically) {
  AddWindow(kCtidCaption, "刷新", false);
  const Hwnd plain = desktop.Add("Static", "", window);
  EXPECT_EQ(ctid.Check_QRCode(kCtidAutomatic), static_cast<int>(plain));
  EXPECT_EQ(Taken("click"), Actions{});
  EXPECT_EQ(LogLines("RzxV8 Static=" + H(plain) + "\r\n"), 1);
}

TEST_F(CtidFixture, WindowClosingWhileThePageIsReadEndsQuietly) {
  AddWindow();
  page.elements = {"<div>", "<p>"};
  page.duringRead = [&] { desktop.Remove(window); };
  EXPECT_EQ(ctid.Check_QRCode(kCtidAutomatic), 0);
  // The click goes to a button that is gone and yields nothing.
  EXPECT_EQ(Taken("click"), Actions{"click " + H(refresh)});
  EXPECT_EQ(LogLines("certToken=0,Auto Refresh=0\r\n"), 1);
  // The next cycle sees no window.
  ctid.Move_CTIDWin(kCtidAutomatic);
  EXPECT_EQ(LogLines("CTIDWinOK="), 0);
}

TEST_F(CtidFixture, ReturnCountdownThenBackToTheCashierScreen) {
  for (bool mainCashier : {true, false}) {
    desktop = FakeDesktop{};
    page = FakePageReader{};
    files.files.clear();
    CtidWindow fresh{desktop, registry, log, page, switches, par};
    switches.Apply(kExtendedScreen | kCtidWindow | kCtidReturn);
    par.CtidReturnDelay = 6;
    AddWindow();
    page.elements = {"certToken"};
    Remember("1280.100");

    Actions captions;
    for (int cycle = 1; cycle <= 8; ++cycle) {
      fresh.Move_CTIDWin(kCtidAutomatic);
      fresh.AutoReturnStep(mainCashier);
    }
    const std::string b = "settext " + H(first) + " ";
    for (const auto& a : Taken("settext"))
      if (a.rfind(b, 0) == 0) captions.push_back(a);
    EXPECT_EQ(captions, (Actions{b + "倒计5秒", b + "倒计4秒", b + "倒计3秒", b + "倒计2秒", b + "倒计1秒",
                                 b + "关闭"}));
    const std::string back = mainCashier ? "1690,740" : "0,740";
    EXPECT_EQ(Taken("setpos"), (Actions{"setpos " + H(window) + " -1 1280,100 3x4 17", "setpos " + H(window) + " -2 " + back + " 3x4 17"}));
    EXPECT_EQ(Taken("beep"), Actions{"beep 400 50"});
    EXPECT_EQ(LogLines("AutoSwitchOK=1,QRCode=22,CTIDWin.x=" + std::string(mainCashier ? "1690" : "0") +
                       ",CTIDWin.y=740\r\n"),
              1);

    // A later appearance: placed, then sent back on the same cycle.
    desktop.actions.clear();
    desktop.Get(window).visible = false;
    fresh.Move_CTIDWin(kCtidAutomatic);
    fresh.AutoReturnStep(mainCashier);
    desktop.Get(window).visible = true;
    fresh.Move_CTIDWin(kCtidAutomatic);
    fresh.AutoReturnStep(mainCashier);
    EXPECT_EQ(Taken("setpos"), (Actions{"setpos " + H(window) + " -1 1280,100 3x4 17", "setpos " + H(window) + " -2 " + back + " 3x4 17"}));
  }
}

TEST_F(CtidFixture, F11WithTheReturnSwitchBringsTheWindowBackAndRestartsTheCountdown) {
  switches.Apply(kExtendedScreen | kCtidWindow | kCtidReturn);
  par.CtidReturnDelay = 3;
  AddWindow();
  Remember("1280.100");
  for (int cycle = 1; cycle <= 4; ++cycle) {
    ctid.Move_CTIDWin(kCtidAutomatic);
    ctid.AutoReturnStep(true);
  }
  desktop.actions.clear();
  page.asked.clear();

  ctid.OnHotKey(1013);  // not ours
  EXPECT_EQ(desktop.actions, Actions{});

  ctid.OnHotKey(kCtidHotKeyId);
  EXPECT_EQ(Taken("setpos"), Actions{"setpos " + H(window) + " -1 1280,100 3x4 17"});
  EXPECT_EQ(Taken("click"), Actions{"click " + H(refresh)});
  EXPECT_TRUE(page.asked.empty());  // F11 refreshes; it does not read the page
  EXPECT_EQ(LogLines("HotKey ReBtn=" + H(refresh) + ",Refresh=0\r\n"), 1);

  desktop.actions.clear();
  for (int cycle = 1; cycle <= 3; ++cycle) {
    ctid.Move_CTIDWin(kCtidAutomatic);
    ctid.AutoReturnStep(true);
  }
  const std::string b = "settext " + H(first) + " ";
  EXPECT_EQ(Taken("settext"), (Actions{b + "倒计2秒", b + "倒计1秒", b + "关闭"}));
  EXPECT_EQ(Taken("setpos"), Actions{"setpos " + H(window) + " -2 1690,740 3x4 17"});
}

TEST_F(CtidFixture, F11WithoutTheReturnSwitchOnlyRefreshes) {
  AddWindow();
  Remember("1280.100");
  ctid.Move_CTIDWin(kCtidAutomatic);
  desktop.actions.clear();
  ctid.OnHotKey(kCtidHotKeyId);
  EXPECT_EQ(Taken("setpos"), Actions{});
  EXPECT_EQ(Taken("click"), Actions{"click " + H(refresh)});
}

TEST_F(CtidFixture, F11WhileTheWindowIsHiddenTouchesNothing) {
  for (bool returnSwitch : {true, false}) {
    desktop = FakeDesktop{};
    switches.Apply(kExtendedScreen | kCtidWindow | (returnSwitch ? kCtidReturn : 0));
    AddWindow();
    Remember("1280.100");
    desktop.Get(window).visible = false;
    ctid.OnHotKey(kCtidHotKeyId);
    EXPECT_EQ(Taken("setpos"), Actions{});
    EXPECT_EQ(Taken("click"), Actions{});
    EXPECT_EQ(Taken("beep"), Actions{});
  }
}

}  // namespace
