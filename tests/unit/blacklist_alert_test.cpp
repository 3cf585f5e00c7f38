#include "blacklist/blacklist_alert.h"

#include <gtest/gtest.h>

#include "billing/bar_identity.h"
#include "blacklist/blacklist_store.h"
#include "crypto/envelope.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_desktop.h"
#include "fakes/fake_files.h"
#include "fakes/fake_http_client.h"
#include "fakes/udp_collector.h"
#include "log/activity_log.h"
#include "net/notice.h"
#include "platform/sound.h"

namespace {

const std::string kEntry = "11010119900307123X #三   2024-01-02 打架斗殴";
const std::string kOther = "44030419851231002X #四   2023-12-01 同伙1101011990";
const char kReport[] = "http://127.0.0.1:18080/tollimer/report.php?";

// Every outside effect lands on one timeline, so the order can be checked.
struct Timeline {
  std::vector<std::string>* actions = nullptr;
};

struct TimelineSound : Sound, Timeline {
  bool PlayResource(const std::string& type, const std::string& name) override {
    actions->push_back("sound " + type + ":" + name);
    return true;
  }
  bool PlayFile(const std::string& path) override {
    actions->push_back("sound " + path);
    return true;
  }
};

struct TimelineHttp : FakeHttpClient, Timeline {
  std::string HttpRequest(const std::string& url, const std::string& body, int timeoutMs) override {
    actions->push_back("http " + url);
    return FakeHttpClient::HttpRequest(url, body, timeoutMs);
  }
};

struct AlertFixture : ::testing::Test {
  FakeDesktop desktop;
  FakeClock clock;
  FakeFiles files;
  TimelineSound sound;
  TimelineHttp http;
  ActivityLog log{files, clock};
  std::uint32_t tick = 100000;
  BlacklistStore store{files, http, [this] { return tick; }, [] { return CalendarDate{2024, 3, 7}; },
                       {"C:\\T\\blacklist.txt", "http://127.0.0.1:18080/tollimer/data/blklist.txt"}};
  BarIdentity bar{"", "10086", "星星网吧"};
  std::function<void(const std::string&)> notice = [this](const std::string& text) {
    desktop.actions.push_back("notice " + text);
  };
  BlacklistAlert alert{{desktop, clock, sound, log, http, [this](const std::string& t) { notice(t); }},
                       store, bar, kReport, "00E04C6812AB"};
  Hwnd dialog = 0, button = 0, edit = 0;

  AlertFixture() {
    sound.actions = &desktop.actions;
    http.actions = &desktop.actions;
    files.folders.insert("C:\\T\\LOGS\\");
    log.SetSwitch(true, "C:\\T\\");
    std::string sealed1, sealed2;
    Des_Crypt(kOther, 1, 3, 0, true, sealed1);
    Des_Crypt(kEntry, 1, 3, 0, true, sealed2);
    http.queuedReplies.push_back(sealed1 + "\r\n" + sealed2);
    EXPECT_EQ(store.Get_BlackList(), 2);
    desktop.actions.clear();
  }
  // The audit client's face-verification dialog with the swiped ID.
  void Swipe(const std::string& id) {
    dialog = desktop.Add("#32770", "人脸核验");
    button = desktop.Add("Button", "人脸核验", dialog);
    edit = desktop.Add("Edit", id, dialog);
  }
  std::string LogText() { return files.files["C:\\T\\LOGS\\2024-03-07.TXT"]; }
};

TEST_F(AlertFixture, AHitMarksTheDialogAnnouncesLogsSoundsAndReportsInThatOrder) {
  Swipe("11010119900307123x");
  EXPECT_TRUE(alert.Check(dialog, button, edit));
  const std::vector<std::string> expected = {
      "settext " + std::to_string(button) + " 可疑名单",
      "settext " + std::to_string(dialog) + " " + kEntry,
      "notice Bid=10086,BarName=星星网吧,BlackID=" + kEntry,
      "sound WAV:NOTIFY",
      std::string("http ") + kReport + "CID=11010119900307123x&RET=00E04C6812AB|10086|星星网吧|",
  };
  EXPECT_EQ(desktop.actions, expected);
  EXPECT_EQ(clock.waits, std::vector<int>{500});
  EXPECT_NE(LogText().find("FindBlackList:" + kEntry + "\r\n"), std::string::npos);
  ASSERT_EQ(http.calls.size(), 2u);
  EXPECT_EQ(http.calls[1].body, "");
  EXPECT_EQ(http.calls[1].timeoutMs, 5000);
  EXPECT_EQ(alert.LastBlacklistEdit(), edit);
}

TEST_F(AlertFixture, NoMatchLeavesEverythingAlone) {
  for (const char* id : {"1101011", "", "99999999999999999X", "1101011990030799"}) {
    Swipe(id);
    EXPECT_FALSE(alert.Check(dialog, button, edit)) << id;
  }
  for (const auto& a : desktop.actions) EXPECT_EQ(a.rfind("settext", 0), std::string::npos) << a;
  EXPECT_EQ(http.calls.size(), 1u);  // only the load
  EXPECT_EQ(alert.LastBlacklistEdit(), 0u);
}

TEST_F(AlertFixture, TheFirstContainingLineIsShownAlsoWhenTheIdIsInAReason) {
  Swipe("1101011990");   // in the reason of the first line, and the ID of the second
  EXPECT_TRUE(alert.Check(dialog, button, edit));
  EXPECT_EQ(desktop.Get(dialog).caption, kOther);
}

TEST_F(AlertFixture, OneAlertPerEditControlANewDialogGetsItsOwn) {
  Swipe("11010119900307123X");
  ASSERT_TRUE(alert.Check(dialog, button, edit));
  const std::size_t after = desktop.actions.size();
  // The same edit again (the client gave the caption back): the cycle ends, nothing else.
  desktop.Get(dialog).caption = "人脸核验";
  EXPECT_TRUE(alert.Check(dialog, button, edit));
  EXPECT_EQ(desktop.actions.size(), after);
  // A new dialog with a new edit control: a new alert.
  Swipe("44030419851231002X");
  EXPECT_TRUE(alert.Check(dialog, button, edit));
  EXPECT_EQ(desktop.Get(dialog).caption, kOther);
  EXPECT_EQ(http.calls.size(), 3u);
}

TEST_F(AlertFixture, DeadCollectorAndDeadServiceDoNotStopTheAlert) {
  // A real datagram to a loopback port where nothing listens, and a service
  // that does not answer (the fake's empty reply).
  notice = [](const std::string& text) { SendNotice(text, "127.0.0.1", 9); };
  Swipe("11010119900307123X");
  EXPECT_TRUE(alert.Check(dialog, button, edit));
  EXPECT_EQ(desktop.Get(button).caption, "可疑名单");
  EXPECT_NE(LogText().find("FindBlackList:"), std::string::npos);
}

TEST_F(AlertFixture, TheCollectorReceivesTheNoticeByteForByte) {
  UdpCollector collector;
  notice = [&](const std::string& text) { SendNotice(text, "127.0.0.1", collector.Port()); };
  Swipe("11010119900307123X");
  ASSERT_TRUE(alert.Check(dialog, button, edit));
  auto datagram = collector.Receive(2000);
  ASSERT_TRUE(datagram);
  EXPECT_EQ(*datagram, std::string("\x7F\x3F\x80" "_MSG|", 8) +
                           "Bid=10086,BarName=星星网吧,BlackID=" + kEntry);
}

TEST(BlacklistReportQuery, ValuesAsTheyAreEachFollowedByBar) {
  EXPECT_EQ(BlacklistReportQuery("11010119900307123X", "1234567890AB", "-1", ""),
            "CID=11010119900307123X&RET=1234567890AB|-1||");
  EXPECT_EQ(BlacklistReportQuery("a b&c", "M", "1", "网 吧"), "CID=a b&c&RET=M|1|网 吧|");
}

}  // namespace
