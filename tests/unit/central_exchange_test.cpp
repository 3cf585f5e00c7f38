#include "net/central_exchange.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "crypto/codepage.h"
#include "crypto/envelope.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_files.h"
#include "fakes/fake_http_client.h"
#include "fakes/service_reply.h"
#include "log/activity_log.h"
#include "util/literal_table.h"

namespace {

const char* const kUpdateAddress = "http://127.0.0.1:18080/tollimer/update/";

std::string Seal(const std::string& text) { return SealForService(text); }
std::string Reply(const std::string& payload) { return ServiceReply(payload); }

const std::string kFull =
    "delay=300\r\nclickmode=0\r\ninterval=5\r\nctidreturn=9\r\ncrclist=ABCD1234,00FF00FF\r\n";

struct CheckCase {
  const char* name;
  std::string reply;
  std::string exeChecksum;
  int state;
  TCenterPar par;  // afterwards; the starting values are the code defaults
};

TCenterPar Par(int delay, int mode, int refresh, int ctid) { return {delay, mode, refresh, ctid}; }

class CheckUpdateTest : public testing::TestWithParam<CheckCase> {};

TEST_P(CheckUpdateTest, ReadsTheReplyIntoParametersAndTheDecision) {
  const CheckCase& c = GetParam();
  FakeHttpClient http;
  http.defaultReply = c.reply;
  TCenterPar par;
  CentralExchange exchange(http, par, kUpdateAddress, c.exeChecksum);
  EXPECT_EQ(exchange.Check_Update("request", 1), c.state);
  EXPECT_EQ(par.FaceClickDelay, c.par.FaceClickDelay);
  EXPECT_EQ(par.FaceClickMode, c.par.FaceClickMode);
  EXPECT_EQ(par.ParamRefreshMinutes, c.par.ParamRefreshMinutes);
  EXPECT_EQ(par.CtidReturnDelay, c.par.CtidReturnDelay);
}

const TCenterPar kDefaults = Par(101, 1, 60, 6);

INSTANTIATE_TEST_SUITE_P(
    CentralExchange, CheckUpdateTest,
    testing::Values(
        CheckCase{"Current", Reply(kFull), "00FF00FF", 1, Par(300, 0, 5, 9)},
        CheckCase{"Outdated", Reply(kFull), "12345678", 2, Par(300, 0, 5, 9)},
        // No checksum of its own: any identities mean an update.
        CheckCase{"NoOwnChecksum", Reply(kFull), "", 2, Par(300, 0, 5, 9)},
        CheckCase{"SevenCharacterIdentities", Reply("delay=1\ncrclist=ABCD123"), "", 1,
                  Par(1, 2, 180, 7)},
        CheckCase{"NoIdentities", Reply("delay=1"), "12345678", 1, Par(1, 2, 180, 7)},
        // Missing values and values that are not numbers take the service's defaults.
        CheckCase{"NotNumbers", Reply("delay=abc\nclickmode=\ninterval=abc\nctidreturn=1x"),
                  "00FF00FF", 1, Par(202, 2, 180, 7)},
        // A click mode above 2 clicks with the mouse as 2 does, and is kept as 2.
        CheckCase{"OtherCaseAndLineEnds", Reply("DELAY=7\rClickMode=3\n\nINTERVAL=2\r\n"), "", 1,
                  Par(7, 2, 2, 7)},
        CheckCase{"FirstLineOfANameWins", Reply("delay=1\r\ndelay=2"), "", 1, Par(1, 2, 180, 7)},
        CheckCase{"ValueHoldsEquals", Reply("crclist=a=12345678\r\ndelay=4"), "12345678", 1,
                  Par(4, 2, 180, 7)},
        // Nothing usable: every parameter keeps its value.
        CheckCase{"NoReply", "", "12345678", -1, kDefaults},
        CheckCase{"NoMarkers", Seal(kFull), "12345678", -1, kDefaults},
        CheckCase{"NoClosingMarker", "[BODY]\r\n" + Seal(kFull), "12345678", -1, kDefaults},
        CheckCase{"GarbageBetweenMarkers", "[BODY]\r\n#### not base64 ####[END]", "12345678", -1,
                  kDefaults},
        CheckCase{"PayloadWithoutEquals", Reply("just text\r\nno pairs"), "12345678", -1,
                  kDefaults},
        CheckCase{"MarkerAtTheVeryEnd", "xx[BODY]", "12345678", -1, kDefaults},
        // Megabytes of anything around the markers change nothing.
        CheckCase{"HugeReply", std::string(8 << 20, 'x') + Reply(kFull) + std::string(1 << 20, 'y'),
                  "00FF00FF", 1, Par(300, 0, 5, 9)}),
    [](const testing::TestParamInfo<CheckCase>& info) { return info.param.name; });

TEST(CentralExchange, PostsTheSealedRequestWithItsKindAndKeepsTheAnnouncedIdentities) {
  FakeHttpClient http;
  http.queuedReplies = {Reply(kFull), Reply("crclist=11112222"), Reply(kFull)};
  TCenterPar par;
  CentralExchange exchange(http, par, kUpdateAddress, "12345678");
  const std::string request = "barname=星空网吧";
  EXPECT_EQ(exchange.Check_Update(request, 1), 2);
  EXPECT_EQ(exchange.ReleaseIdentities(), "ABCD1234,00FF00FF");
  EXPECT_EQ(exchange.Call_Update([] { return std::string("fresh"); }), 2);
  EXPECT_EQ(exchange.ReleaseIdentities(), "11112222");

  ASSERT_EQ(http.calls.size(), 2u);
  EXPECT_EQ(http.calls[0].url, std::string(kUpdateAddress) + "?t=1");
  EXPECT_EQ(http.calls[1].url, std::string(kUpdateAddress) + "?t=2");
  EXPECT_EQ(http.calls[0].timeoutMs, 5000);
  // The body is the request sealed as UTF-8 under key row 1.
  std::string opened;
  Des_Crypt(http.calls[0].body, 2, 1, 0, true, opened);
  EXPECT_EQ(opened, Ansi_ToUtf8(request));
  std::string fresh;
  Des_Crypt(http.calls[1].body, 2, 1, 1, true, fresh);
  EXPECT_EQ(fresh, "fresh");
}

TEST(CentralExchange, StartUpTriesFifteenTimesASecondApartUntilAReplyComes) {
  struct Case {
    int silentReplies;  // replies that are not usable before the good one
    std::vector<int> waits;
    int state;
  };
  const Case cases[] = {
      {0, {}, 1},
      {3, {1000, 1000, 1000}, 1},
      {14, std::vector<int>(14, 1000), 1},
      // No answer at all: fifteen attempts, each followed by its wait.
      {15, std::vector<int>(15, 1000), -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.silentReplies);
    FakeHttpClient http;
    for (int i = 0; i < c.silentReplies; ++i) http.queuedReplies.push_back(i % 2 ? "" : "garbage");
    http.defaultReply = Reply("crclist=12345678");
    FakeFiles files;
    files.folders.insert("C:\\P\\LOGS\\");
    FakeClock clock;
    ActivityLog log(files, clock);
    log.SetSwitch(true, "C:\\P\\");
    TCenterPar par;
    CentralExchange exchange(http, par, kUpdateAddress, "12345678");

    EXPECT_EQ(exchange.Check_UpdateAtStartup("r", clock, log), c.state);
    EXPECT_EQ(clock.waits, c.waits);
    const int attempts = std::min(c.silentReplies + 1, 15);
    EXPECT_EQ(http.calls.size(), static_cast<std::size_t>(attempts));
    std::string lines;
    for (const auto& [name, content] : files.files) lines += content;
    for (int n = 1; n <= attempts; ++n) {
      const std::string expected =
          " Check_Update[" + std::to_string(n) + "]=" + (n <= c.silentReplies ? "-1" : "1") + "\r\n";
      EXPECT_NE(lines.find(expected), std::string::npos) << expected;
    }
    EXPECT_EQ(lines.find("Check_Update[" + std::to_string(attempts + 1) + "]"), std::string::npos);
  }
}

TEST(CentralExchange, ARefreshSayingCurrentKeepsTheIdentitiesOfTheAnnouncement) {
  FakeHttpClient http;
  http.queuedReplies = {Reply("crclist=11112222"), Reply("crclist=12345678")};
  TCenterPar par;
  CentralExchange exchange(http, par, kUpdateAddress, "12345678");
  EXPECT_EQ(exchange.Check_Update("r", 1), 2);
  EXPECT_EQ(exchange.Check_Update("r", 2), 1);
  EXPECT_EQ(exchange.ReleaseIdentities(), "11112222");
}

TEST(UpdateRequest, CarriesEveryValueAs64BitTimeAndGbkText) {
  UpdateRequestValues v;
  v.unixTime = 5000000000LL;  // beyond 32 bits
  v.neighbourCount = 3;
  v.macText = "00155D01AB02";
  v.exeChecksum = "CBF43926";
  v.barId = "123456";
  v.barName = "星空网吧";
  v.osVersion = "6.1.7601.1";
  v.featureBits = 63;
  v.monitorCount = 2;
  v.faceSoundInfo = "-";
  v.diskSerial = "WD-123";
  EXPECT_EQ(BuildUpdateRequest(v),
            "time=5000000000\r\nneighbours=3\r\nmac=00155D01AB02\r\ncrc=CBF43926\r\nbarid=123456\r\n"
            "barname=" + v.barName + "\r\nos=6.1.7601.1\r\nexpcofig=63\r\nmonitors=2\r\n"
            "facesound=-\r\ndisk=WD-123");
}

TEST(ReleaseIdentities, DecisionAndCheckOfTheDownload) {
  struct Case {
    std::string identities, crc;
    int decision;
    bool isIdentity;
  };
  const Case cases[] = {
      {"ABCD1234,00FF00FF", "00FF00FF", 1, true},
      {"ABCD1234,00FF00FF", "12345678", 2, false},
      // One comparison for both: a lower-case identity the download check
      // accepts is current once it runs, never downloaded again.
      {"abcd1234", "ABCD1234", 1, true},
      {"00ff00ff,abcd1234", "00FF00FF", 1, true},
      {"abcd1234", "12345678", 2, false},
      {"ABCD1234", "", 2, false},
      {"ABCD123", "ABCD123", 1, true},
      // A part of a longer identity is not one: that release is not this program.
      {"1ABCD12345", "ABCD1234", 2, false},
      {"00FF00FF;ABCD1234 ", "ABCD1234", 1, true},
      {"", "", 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.identities + " / " + c.crc);
    EXPECT_EQ(UpdateDecision(c.identities, c.crc), c.decision);
    EXPECT_EQ(IsReleaseIdentity(c.identities, c.crc), c.isIdentity);
  }
}

}  // namespace

namespace {

TEST(CentralExchange, StartupAttemptsEndWhenThePauseIsCutShort) {
  // The program closing during the pause after a silent attempt: no second
  // attempt is made.
  FakeHttpClient http;
  TCenterPar par;
  CentralExchange exchange(http, par, kUpdateAddress, "12345678");
  std::vector<std::pair<int, int>> attempts;
  const int state = exchange.Check_UpdateAttempts(
      "r", [&](int attempt, int result) { attempts.push_back({attempt, result}); },
      [](int) { return false; });
  EXPECT_EQ(state, kUpdateNoReply);
  EXPECT_EQ(attempts, (std::vector<std::pair<int, int>>{{1, kUpdateNoReply}}));
  EXPECT_EQ(http.calls.size(), 1u);
}

}  // namespace

namespace {

TEST(CentralExchange, ARefusedCertificateIsAFailedAttemptWithItsOwnCode) {
  // A look-alike service on the path: whatever it would say is not read, the
  // parameters stay, and the start-up attempts go on as with a silent one.
  FakeHttpClient http;
  http.defaultReply = Reply(kFull);
  http.refusePeer = true;
  TCenterPar par;
  const TCenterPar before = par;
  CentralExchange exchange(http, par, kUpdateAddress, "12345678");
  EXPECT_EQ(exchange.Check_Update("r", 2), kUpdatePeerRefused);
  EXPECT_EQ(exchange.ReleaseIdentities(), "");
  std::vector<std::pair<int, int>> attempts;
  EXPECT_EQ(exchange.Check_UpdateAttempts(
                "r", [&](int attempt, int result) { attempts.push_back({attempt, result}); },
                [](int) { return true; }),
            kUpdatePeerRefused);
  EXPECT_EQ(attempts.size(), 15u);
  EXPECT_EQ(attempts.back(), std::make_pair(15, kUpdatePeerRefused));
  EXPECT_EQ(par.FaceClickDelay, before.FaceClickDelay);
  EXPECT_EQ(par.ParamRefreshMinutes, before.ParamRefreshMinutes);
}

}  // namespace
