// The chain's group-chat robots: the configuration of targets, the message
// and each robot's request, and delivery through the service to fake robots
// on loopback: signed, in order, once, at the robot's pace, after errors,
// rate-limit answers and a restart of the service.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <fstream>

#include "central/base/clock.h"
#include "central/command_client.h"
#include "central/fake_robot.h"
#include "central/service_client.h"
#include "central/webhook/robot_message.h"
#include "central/webhook/webhook_sender.h"
#include "central/status/webhook_status.h"
#include "crypto/codepage.h"
#include "util/text.h"

extern char** environ;

namespace {

constexpr const char* kId = "330102199003074415";
constexpr const char* kMaskedId = "330102199003xxxxxx";

// The report an assistant sends for a hit at `barId` from `mac`: the bar's
// name in GBK, as the assistant has it.
std::string HitTarget(const std::string& id, const std::string& mac, const std::string& barId) {
  return "/tollimer/report.php?CID=" + id + "&RET=" + mac + "|" + barId + "|" + Utf8_ToAnsi(Format("网吧%s", barId.c_str())) +
         "|";
}

WebhookTarget TargetFor(const FakeRobot& robot, RobotKind kind, const std::string& name, const std::string& secret,
                        int perMinute = 600) {
  WebhookTarget t;
  t.name = name;
  t.kind = kind;
  t.url = robot.Url();
  t.secret = secret;
  t.perMinute = perMinute;
  return t;
}

std::vector<BlacklistRow> ListedPeople(int count) {
  std::vector<BlacklistRow> rows;
  for (int i = 0; i < count; ++i) {
    const std::string id = Format("3301021990030%05d", i);
    rows.push_back({id, id + " #三 2026-01-02 打架斗殴"});
  }
  rows.push_back({kId, std::string(kId) + " #小明 2025-11-30 盗窃 手机"});
  return rows;
}

// Polls `done` for up to `ms` milliseconds.
template <typename F>
bool Eventually(F done, int ms) {
  for (int waited = 0; waited < ms; waited += 20) {
    if (done()) return true;
    SleepMs(20);
  }
  return done();
}

TEST(RobotMessage, SignsWithHmacSha256InBase64) {
  // RFC 4231, test case 2.
  EXPECT_EQ(HmacSha256Base64("Jefe", "what do ya want for nothing?"), "W9zBRr9gdU5qBCQmCJV1x1oAPwidJzmDnexYuWTsOEM=");
}

TEST(RobotMessage, EachKindGetsItsDocumentedBodyAndSignature) {
  struct Case {
    RobotKind kind;
    std::string secret, path, wantPath, wantBody;
  };
  const std::int64_t ms = 1700000000123;
  const std::string dingSign = HmacSha256Base64("SECx", "1700000000123\nSECx");
  const std::string feishuSign = HmacSha256Base64("1700000000\nsek", "");
  const Case cases[] = {
      {RobotKind::WeCom, "", "/cgi-bin/webhook/send?key=k", "/cgi-bin/webhook/send?key=k",
       R"({"msgtype":"text","text":{"content":"a\n\"b\""}})"},
      {RobotKind::DingTalk, "", "/robot/send?access_token=t", "/robot/send?access_token=t",
       R"({"msgtype":"text","text":{"content":"a\n\"b\""}})"},
      {RobotKind::DingTalk, "SECx", "/robot/send?access_token=t", "/robot/send?access_token=t&timestamp=1700000000123&sign=",
       R"({"msgtype":"text","text":{"content":"a\n\"b\""}})"},
      {RobotKind::Feishu, "", "/open-apis/bot/v2/hook/h", "/open-apis/bot/v2/hook/h",
       R"({"msg_type":"text","content":{"text":"a\n\"b\""}})"},
      {RobotKind::Feishu, "sek", "/open-apis/bot/v2/hook/h", "/open-apis/bot/v2/hook/h",
       R"({"timestamp":"1700000000","sign":")" + feishuSign + R"(","msg_type":"text","content":{"text":"a\n\"b\""}})"},
      {RobotKind::Json, "", "/hits", "/hits", R"({"event":"blacklist_hit","text":"a\n\"b\""})"},
  };
  for (const Case& c : cases) {
    WebhookTarget t;
    t.kind = c.kind;
    t.secret = c.secret;
    const RobotRequest r = BuildRobotRequest(t, c.path, "a\n\"b\"", ms);
    EXPECT_EQ(r.body, c.wantBody) << RobotKindName(c.kind);
    EXPECT_EQ(r.pathAndQuery.substr(0, c.wantPath.size()), c.wantPath) << RobotKindName(c.kind);
  }
  // The DingTalk signature is URL-encoded: Base64's "+", "/" and "=" escaped.
  WebhookTarget ding;
  ding.kind = RobotKind::DingTalk;
  ding.secret = "SECx";
  const std::string query = BuildRobotRequest(ding, "/robot/send?access_token=t", "x", ms).pathAndQuery;
  const std::string sign = query.substr(query.find("&sign=") + 6);
  EXPECT_EQ(sign.find_first_of("+/="), std::string::npos) << sign;
  std::string decoded;
  for (std::size_t i = 0; i < sign.size(); ++i) {
    decoded += sign[i] == '%' ? static_cast<char>(std::stoi(sign.substr(i + 1, 2), nullptr, 16)) : sign[i];
    if (sign[i] == '%') i += 2;
  }
  EXPECT_EQ(decoded, dingSign);
}

TEST(RobotMessage, TheRobotsAnswersAreRead) {
  struct Case {
    RobotKind kind;
    int status;
    std::string body;
    bool delivered, rateLimited;
  };
  const Case cases[] = {
      {RobotKind::WeCom, 200, R"({"errcode":0,"errmsg":"ok"})", true, false},
      {RobotKind::WeCom, 200, R"({"errcode":45009,"errmsg":"api freq out of limit"})", false, true},
      {RobotKind::WeCom, 200, R"({"errcode": 93000,"errmsg":"invalid webhook url"})", false, false},
      {RobotKind::DingTalk, 200, R"({"errcode":0,"errmsg":"ok"})", true, false},
      {RobotKind::DingTalk, 200, R"({"errcode":410100,"errmsg":"send too fast"})", false, true},
      {RobotKind::DingTalk, 200, R"({"errcode":130101,"errmsg":"send too fast, exceed 20 times per minute"})", false,
       true},
      {RobotKind::DingTalk, 200, R"({"errcode":310000,"errmsg":"sign not match"})", false, false},
      {RobotKind::Feishu, 200, R"({"code":0,"msg":"success","data":{}})", true, false},
      {RobotKind::Feishu, 200, R"({"StatusCode":0,"StatusMessage":"success"})", true, false},
      {RobotKind::Feishu, 200, R"({"code":11232,"msg":"frequency limited"})", false, true},
      {RobotKind::Feishu, 200, R"({"code":19021,"msg":"sign match fail"})", false, false},
      {RobotKind::WeCom, 200, "<html>proxy page</html>", false, false},
      {RobotKind::WeCom, 429, "", false, true},
      {RobotKind::Feishu, 502, "", false, false},
      {RobotKind::Json, 204, "", true, false},
      {RobotKind::Json, 0, "", false, false},
  };
  for (const Case& c : cases) {
    const RobotAnswer a = ReadRobotAnswer(c.kind, c.status, c.body);
    EXPECT_EQ(a.delivered, c.delivered) << c.body;
    EXPECT_EQ(a.rateLimited, c.rateLimited) << c.body;
    EXPECT_EQ(a.error.empty(), c.delivered) << c.body;
  }
}

TEST(RobotMessage, AHitLineHoldsTheMaskedIdAndTheEntryButNeverTheFullNumber) {
  const std::string line = HitLine({kId, std::string(kId) + " #小明 2025-11-30 盗窃 手机", "10.1.2.3", "2026-12-11 15:04:05"});
  EXPECT_EQ(line, "2026-12-11 15:04:05 证件号 330102199003xxxxxx 姓名 #小明 列入 2025-11-30 原因 盗窃 手机 收银机 10.1.2.3");
  EXPECT_EQ(line.find(kId), std::string::npos);
  // The store pads a masked name to its width.
  EXPECT_EQ(HitLine({kId, std::string(kId) + " #三   2024-01-02 打架斗殴", "10.1.2.3", "2026-12-11 15:04:05"}),
            "2026-12-11 15:04:05 证件号 330102199003xxxxxx 姓名 #三 列入 2024-01-02 原因 打架斗殴 收银机 10.1.2.3");
  const std::string gone = HitLine({kId, "", "10.1.2.3", "2026-12-11 15:04:05"});
  EXPECT_NE(gone.find(kMaskedId), std::string::npos);
  EXPECT_EQ(gone.find(kId), std::string::npos);
  EXPECT_EQ(HitMessage("3301", "星空网吧", {"a", "b"}), "【黑名单命中】网吧 3301 星空网吧（2 人次）\na\nb");
}

TimeZone Shanghai() {
  std::string error;
  return LoadTimeZone("Asia/Shanghai", error).value_or(TimeZone::Utc());
}

// Unix seconds of a UTC date and time.
std::int64_t Utc(int year, int month, int day, int hour, int minute) {
  return DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60;
}

TEST(WebhookDigest, IsDueFromTheConfiguredLocalMinuteOncePerDay) {
  const TimeZone zone = Shanghai();  // UTC+8
  const std::int64_t today = zone.LocalDay(Utc(2026, 12, 11, 13, 30));
  struct Case {
    int digestMinute;
    std::int64_t now, lastDay;
    bool due;
  };
  const Case cases[] = {
      {21 * 60 + 30, Utc(2026, 12, 11, 13, 29), -1, false},        // 21:29 local: not yet
      {21 * 60 + 30, Utc(2026, 12, 11, 13, 30), -1, true},         // 21:30 local, though 13:30 in UTC
      {21 * 60 + 30, Utc(2026, 12, 11, 15, 59), today - 1, true},  // started at 23:59: at once
      {21 * 60 + 30, Utc(2026, 12, 11, 13, 45), today, false},     // sent today already
      {21 * 60 + 30, Utc(2026, 12, 11, 16, 5), today, false},      // 00:05 the next day: not yet again
      {0, Utc(2026, 12, 11, 16, 0), today, true},                  // 00:00 the next day
      {0, Utc(2026, 12, 11, 15, 59), today, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DigestDue(zone, c.digestMinute, c.now, c.lastDay), c.due) << zone.Text(c.now) << " " << c.digestMinute;
  }
}

TEST(WebhookDigest, CountsTheLocalDaysHitsPerBarAndTheSilentInstallations) {
  const TimeZone zone = Shanghai();
  const std::int64_t now = Utc(2026, 12, 11, 13, 30);  // 21:30 local
  const std::vector<StatusHit> hits = {
      {Utc(2026, 12, 11, 13, 0), kId, "M", "3302", "月亮网吧", "10.0.0.2"},
      {Utc(2026, 12, 11, 12, 0), kId, "M", "3301", "星空网吧", "10.0.0.1"},
      {Utc(2026, 12, 10, 16, 30), kId, "M", "3301", "星空", "10.0.0.1"},    // 00:30 local today
      {Utc(2026, 12, 10, 15, 30), kId, "M", "3302", "月亮网吧", "10.0.0.2"},  // 23:30 local yesterday
  };
  const std::vector<SilentInstall> silent = {{"3303", "太阳网吧", "10.0.0.9", "1A2B3C4D", Utc(2026, 12, 11, 8, 0), 60}};
  EXPECT_EQ(DigestText(hits, silent, silent.size(), now, zone),
            "【每日汇总】2026-12-11\n今日黑名单命中 3 次\n  网吧 3301 星空网吧：2 次\n  网吧 3302 月亮网吧：1 次\n"
            "失联装机 1 台\n  网吧 3303 太阳网吧 10.0.0.9 最后联络 2026-12-11 16:00:00");
}

TEST(WebhookDigest, AChainsBusyDayStaysWithinWhatARobotTakes) {
  const TimeZone zone = Shanghai();
  const std::int64_t now = Utc(2026, 12, 11, 13, 30);
  std::vector<StatusHit> hits;
  for (int i = 0; i < 5; ++i) hits.push_back({now - 60, kId, "M", "9999", "最忙的网吧", "10.0.0.1"});
  for (int bar = 0; bar < 300; ++bar) hits.push_back({now - 600, kId, "M", Format("%d", 4000 + bar), "网吧", "10.0.0.2"});
  // 40 silent, of which the store hands over the most recent it lists.
  std::vector<SilentInstall> silent;
  for (int i = 0; i < kDigestSilentListed; ++i) {
    silent.push_back({Format("%d", 5000 + i), "失联的网吧", "10.0.1.1", "1A2B3C4D", now - 9000, 60});
  }
  const std::string text = DigestText(hits, silent, 40, now, zone);
  EXPECT_LE(text.size(), kMaxMessageBytes);
  EXPECT_NE(text.find("今日黑名单命中 305 次\n  网吧 9999 最忙的网吧：5 次\n"), std::string::npos) << text;
  // The bars listed and the line that sums up the rest account for every hit.
  int listed = 0;
  for (std::size_t at = text.find("网吧：1 次"); at != std::string::npos; at = text.find("网吧：1 次", at + 1)) ++listed;
  EXPECT_GT(listed, 10);
  EXPECT_NE(text.find(Format("（另有 %d 个网吧共 %d 次）", 300 - listed, 300 - listed)), std::string::npos) << text;
  EXPECT_NE(text.find("失联装机 40 台"), std::string::npos) << text;
  EXPECT_NE(text.find("（另有 30 台）"), std::string::npos) << text;
}

TEST(WebhookConfig, TargetsAreReadCheckedAndShownWithoutTheirSecrets) {
  const std::string text =
      "webhook.security.kind = dingtalk\n"
      "webhook.security.url = https://oapi.dingtalk.com/robot/send?access_token=tok123\n"
      "webhook.security.secret = SECabc\n"
      "webhook.bar3301.kind = wecom\n"
      "webhook.bar3301.url = https://qyapi.weixin.qq.com/cgi-bin/webhook/send?key=key456\n"
      "webhook.bar3301.bars = 3301, 3302\n"
      "webhook.bar3301.events = hits,digest\n"
      "webhook.bar3301.digest_time = 21:30\n";
  const ConfigResult parsed = ParseCentralConfig(text);
  ASSERT_TRUE(parsed.config) << (parsed.errors.empty() ? "" : parsed.errors[0]);
  const auto& targets = parsed.config->webhooks;
  ASSERT_EQ(targets.size(), 2u);
  EXPECT_EQ(targets[0].kind, RobotKind::DingTalk);
  EXPECT_EQ(targets[0].secret, "SECabc");
  EXPECT_TRUE(TakesBar(targets[0], "9999"));
  EXPECT_EQ(targets[1].bars, (std::vector<std::string>{"3301", "3302"}));
  EXPECT_FALSE(TakesBar(targets[1], "9999"));
  EXPECT_EQ(targets[1].digestMinute, 21 * 60 + 30);
  const std::string shown = DescribeCentralConfig(*parsed.config);
  for (const char* secret : {"SECabc", "tok123", "key456"}) EXPECT_EQ(shown.find(secret), std::string::npos) << shown;
  EXPECT_NE(shown.find("webhook.security.url = https://oapi.dingtalk.com:443/(hidden)"), std::string::npos) << shown;
  EXPECT_NE(shown.find("webhook.bar3301.digest_time = 21:30"), std::string::npos) << shown;

  const char* bad[] = {
      "webhook.a.kind = slack\nwebhook.a.url = http://x/\n",
      "webhook.a.url = ftp://x/\n",
      "webhook.a.kind = wecom\n",                                     // no url
      "webhook.a.url = http://x/\nwebhook.a.secret = s\n",             // json does not sign
      "webhook.a.url = http://x/\nwebhook.a.events = digest\n",        // no digest time
      "webhook.a.url = http://x/\nwebhook.a.digest_time = 24:00\n",
      "webhook.a.url = http://x/\nwebhook.a.events = hits,news\n",
      "webhook.a.url = http://x/\nwebhook.a.per_minute = 0\n",
      "webhook.a b.url = http://x/\n",
      "webhook.a.colour = red\n",
      "webhook.a.url = http://x:99999/\n",
      "webhook.a.url = http://x/\nwebhook.a.bars = 1,,2\n",
  };
  for (const char* b : bad) EXPECT_FALSE(ParseCentralConfig(b).config) << b;
}

// The service with the given targets; the blacklist holds the test's people.
struct Chain {
  explicit Chain(const std::string& name, std::vector<WebhookTarget> targets)
      : central(name, [&] {
          CentralConfig c;
          c.webhooks = std::move(targets);
          return c;
        }()) {
    EXPECT_TRUE(central.store->ImportBlacklist(ListedPeople(300), false));
  }
  int Hit(const std::string& id, const std::string& barId, const std::string& from = "") {
    return HttpGet(central.HttpPort(), HitTarget(id, "00E04C6A1B2C", barId), "", from).status;
  }
  RunningCentral central;
};

TEST(WebhookDelivery, EachKindOfRobotGetsTheHitSignedWithTheMaskedId) {
  struct Case {
    RobotKind kind;
    std::string secret;
  };
  const Case cases[] = {{RobotKind::WeCom, ""}, {RobotKind::DingTalk, "SEC0123456789abcdef"}, {RobotKind::DingTalk, ""},
                        {RobotKind::Feishu, "feishu-secret"}, {RobotKind::Json, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(RobotKindName(c.kind));
    FakeRobot robot(c.kind, c.secret);
    robot.Start();
    Chain chain("webhook_kinds", {TargetFor(robot, c.kind, "robot", c.secret)});
    ASSERT_EQ(chain.Hit(kId, "3301"), 200);
    ASSERT_TRUE(robot.WaitFor(1, 10000));
    const RobotMessage m = robot.Messages()[0];
    EXPECT_TRUE(m.signatureValid);
    EXPECT_NE(m.text.find(kMaskedId), std::string::npos) << m.text;
    EXPECT_EQ(m.rawBody.find(kId), std::string::npos) << m.rawBody;
    EXPECT_NE(m.text.find("网吧 3301 网吧3301"), std::string::npos) << m.text;
    EXPECT_NE(m.text.find("姓名 #小明 列入 2025-11-30 原因 盗窃 手机 收银机 127.0.0.1"), std::string::npos) << m.text;
    EXPECT_EQ(robot.Refusals(), 0);
  }
}

TEST(WebhookDelivery, ABurstFromOneBarIsOneMessageAndOnlyTheChosenBarsGo) {
  FakeRobot all(RobotKind::WeCom), one(RobotKind::Feishu);
  all.Start();
  one.Start();
  WebhookTarget only3302 = TargetFor(one, RobotKind::Feishu, "only3302", "");
  only3302.bars = {"3302"};
  Chain chain("webhook_burst", {TargetFor(all, RobotKind::WeCom, "all", ""), only3302});
  for (int i = 0; i < 3; ++i) ASSERT_EQ(chain.Hit(Format("3301021990030%05d", i), "3301"), 200);
  ASSERT_EQ(chain.Hit(kId, "3302"), 200);
  ASSERT_TRUE(all.WaitFor(2, 10000));
  ASSERT_TRUE(one.WaitFor(1, 10000));
  SleepMs(300);
  const auto messages = all.Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_NE(messages[0].text.find("网吧 3301 网吧3301（3 人次）"), std::string::npos) << messages[0].text;
  EXPECT_EQ(std::count(messages[0].text.begin(), messages[0].text.end(), '\n'), 3) << messages[0].text;
  EXPECT_NE(messages[1].text.find("网吧 3302"), std::string::npos);
  ASSERT_EQ(one.Messages().size(), 1u);
  EXPECT_NE(one.Messages()[0].text.find("网吧 3302"), std::string::npos);
}

TEST(WebhookDelivery, ErrorsAndTooFastAnswersAreRetriedUntilEachMessageArrivesOnce) {
  struct Case {
    int failures, tooFast;
  };
  for (const Case c : {Case{3, 0}, Case{0, 2}, Case{1, 1}}) {
    FakeRobot robot(RobotKind::DingTalk, "SECretry");
    robot.Start();
    robot.FailNext(c.failures);
    robot.TooFastNext(c.tooFast);
    Chain chain("webhook_retry", {TargetFor(robot, RobotKind::DingTalk, "ding", "SECretry", 1200)});
    for (int bar = 0; bar < 4; ++bar) ASSERT_EQ(chain.Hit(kId, Format("%d", 3301 + bar)), 200);
    ASSERT_TRUE(robot.WaitFor(4, 30000));
    SleepMs(300);
    const auto messages = robot.Messages();
    ASSERT_EQ(messages.size(), 4u);
    for (int bar = 0; bar < 4; ++bar) {
      EXPECT_NE(messages[bar].text.find(Format("网吧 %d ", 3301 + bar)), std::string::npos) << messages[bar].text;
    }
    EXPECT_EQ(robot.Refusals(), c.failures + c.tooFast);
    const auto states = chain.central.store->OutboxStates(NowMs());
    ASSERT_EQ(states.size(), 1u);
    EXPECT_EQ(states[0].waiting, 0);
    EXPECT_EQ(states[0].delivered24h, 4);
  }
}

TEST(WebhookDelivery, ARateLimitingRobotGetsEveryMessageAtItsPace) {
  FakeRobot robot(RobotKind::WeCom);
  robot.Start();
  // 600 a minute: one each 100 ms; the robot refuses anything closer.
  robot.SetPace(100);
  Chain chain("webhook_pace", {TargetFor(robot, RobotKind::WeCom, "wecom", "", 600)});
  for (int bar = 0; bar < 15; ++bar) ASSERT_EQ(chain.Hit(kId, Format("%d", 4000 + bar), Format("127.0.0.%d", 10 + bar)), 200);
  ASSERT_TRUE(robot.WaitFor(15, 30000));
  const auto messages = robot.Messages();
  EXPECT_EQ(robot.Refusals(), 0);
  for (std::size_t i = 1; i < messages.size(); ++i) EXPECT_GE(messages[i].receivedMs - messages[i - 1].receivedMs, 100);
  for (int bar = 0; bar < 15; ++bar) EXPECT_NE(messages[bar].text.find(Format("网吧 %d ", 4000 + bar)), std::string::npos);
}

TEST(WebhookDelivery, ABurstOf200HitsFrom50BarsArrivesWhole) {
  FakeRobot robot(RobotKind::Feishu, "s");
  robot.Start();
  robot.SetPace(50);
  Chain chain("webhook_200", {TargetFor(robot, RobotKind::Feishu, "feishu", "s", 1200)});
  for (int round = 0; round < 4; ++round) {
    for (int bar = 0; bar < 50; ++bar) {
      ASSERT_EQ(chain.Hit(Format("3301021990030%05d", round * 50 + bar), Format("%d", 5000 + bar),
                          Format("127.0.1.%d", 10 + bar)),
                200);
    }
  }
  ASSERT_TRUE(Eventually([&] { return chain.central.store->OutboxStates(NowMs())[0].waiting == 0; }, 60000));
  std::string all;
  for (const RobotMessage& m : robot.Messages()) all += m.text + "\n";
  for (int i = 0; i < 200; ++i) EXPECT_EQ(all.find(Format("3301021990030%05d", i)), std::string::npos);
  for (int bar = 0; bar < 50; ++bar) EXPECT_NE(all.find(Format("网吧 %d ", 5000 + bar)), std::string::npos);
  // Every hit's line once: 200 lines below the bars' headings.
  int lines = 0;
  for (std::size_t at = all.find("证件号"); at != std::string::npos; at = all.find("证件号", at + 1)) ++lines;
  EXPECT_EQ(lines, 200);
  EXPECT_LE(robot.Messages().size(), 200u);
  EXPECT_EQ(robot.Refusals(), 0);
}

TEST(WebhookDelivery, AMessageFailingForADayIsGivenUpCountedAndShown) {
  FakeRobot robot(RobotKind::WeCom);
  robot.Start();
  robot.FailNext(1000);
  Chain chain("webhook_give_up", {TargetFor(robot, RobotKind::WeCom, "wecom", "", 1200)});
  ASSERT_TRUE(chain.central.store->QueueOutbox({{"wecom", "3301", "x", "old line"}}, NowMs() - 25 * 3600 * 1000));
  ASSERT_TRUE(Eventually([&] {
    const auto s = chain.central.store->OutboxStates(NowMs());
    return !s.empty() && s[0].givenUp == 1;
  }, 10000));
  const auto s = chain.central.store->OutboxStates(NowMs());
  EXPECT_EQ(s[0].waiting, 0);
  const RawReply metrics = HttpGet(chain.central.service->StatusPort(), "/metrics");
  EXPECT_NE(metrics.body.find("tollimer_webhook_given_up{target=\"wecom\"} 1"), std::string::npos) << metrics.body;
  const RawReply page = HttpGet(chain.central.service->StatusPort(), "/");
  EXPECT_NE(page.body.find("群机器人消息"), std::string::npos);
}

// Each figure of a target reaches the status page and /metrics, none mixed up
// with another.
TEST(WebhookStatus, EveryFigureOfATargetIsShownOnThePageAndInTheMetrics) {
  const std::vector<OutboxTargetState> states{{"wecom", 11, 22, 33, 44, "boom"}};
  const std::string html = WebhookQueueHtml(states);
  const std::string metrics = WebhookMetrics(states);
  struct Figure {
    const char* metric;
    const char* cell;
  };
  const Figure figures[] = {
      {"tollimer_webhook_waiting{target=\"wecom\"} 11", "\">11</td>"},
      {"tollimer_webhook_delivered_24h{target=\"wecom\"} 22", "\">22</td>"},
      {"tollimer_webhook_given_up{target=\"wecom\"} 33", "\">33</td>"},
      {"tollimer_webhook_dropped_total{target=\"wecom\"} 44", "\">44</td>"},
  };
  for (const Figure& f : figures) {
    EXPECT_NE(metrics.find(f.metric), std::string::npos) << f.metric << "\n" << metrics;
    EXPECT_NE(html.find(f.cell), std::string::npos) << f.cell << "\n" << html;
  }
  EXPECT_NE(metrics.find("# TYPE tollimer_webhook_dropped_total counter"), std::string::npos) << metrics;
  EXPECT_NE(html.find("队列满未发"), std::string::npos);
}

TEST(WebhookDelivery, AFailingTargetShowsItsWaitingMessagesAndLastError) {
  FakeRobot robot(RobotKind::WeCom);
  robot.Start();
  robot.FailNext(1000);
  Chain chain("webhook_failing", {TargetFor(robot, RobotKind::WeCom, "wecom", "", 60)});
  ASSERT_EQ(chain.Hit(kId, "3301"), 200);
  ASSERT_TRUE(Eventually([&] { return robot.Refusals() >= 1; }, 10000));
  SleepMs(100);
  const std::string page = HttpGet(chain.central.service->StatusPort(), "/").body;
  EXPECT_NE(page.find("<td>wecom</td><td class=\"n\">1</td>"), std::string::npos) << page;
  EXPECT_NE(page.find("HTTP 500"), std::string::npos);
  const std::string metrics = HttpGet(chain.central.service->StatusPort(), "/metrics").body;
  EXPECT_NE(metrics.find("tollimer_webhook_waiting{target=\"wecom\"} 1"), std::string::npos) << metrics;
}

// The real program, as an operator runs it with a configuration file.
class Program {
 public:
  Program(const std::string& config, const std::string& data) : config_(config), data_(data) {}
  ~Program() { Stop(); }
  int Start() {
    const std::string ports = data_ + "/ports";
    std::remove(ports.c_str());
    const char* argv[] = {TOLLIMER_CENTRAL_EXE, "--config", config_.c_str(), "--data", data_.c_str(), "serve",
                          "--http-port", "0", "--collector-port", "off", "--status-port", "off", "--port-file",
                          ports.c_str(), nullptr};
    if (posix_spawn(&pid_, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ) != 0) return 0;
    std::string text;
    for (int i = 0; i < 200 && text.find("http=") == std::string::npos; ++i) {
      SleepMs(25);
      std::ifstream in(ports);
      std::getline(in, text, '\0');
    }
    return ParseDecimal(text.substr(5, text.find('\n') - 5)).value_or(0);
  }
  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = 0;
  }

 private:
  std::string config_, data_;
  pid_t pid_ = 0;
};

TEST(WebhookDelivery, HitsWhileTheRobotIsDownArriveOnceInOrderAfterARestartOfTheService) {
  TempDir dir("webhook_restart");
  FakeRobot robot(RobotKind::DingTalk, "SECrestart");
  const int port = robot.Start();
  robot.Stop();  // down: its address refuses connections
  const std::string config = dir.Write("central.conf", Format(
      "webhook.ding.kind = dingtalk\n"
      "webhook.ding.url = http://127.0.0.1:%d/robot/send?access_token=abc\n"
      "webhook.ding.secret = SECrestart\n"
      "webhook.ding.per_minute = 1200\n"
      "test_keys = yes\n", port));
  const std::string data = dir.Path("data");
  EXPECT_EQ(RunCentral("--config " + config + " --data " + data + " init").find("tollimer-central:"),
            std::string::npos);
  std::string listFile;
  for (const BlacklistRow& r : ListedPeople(20)) listFile += r.line + "\n";
  RunCentral("--config " + config + " --data " + data + " blacklist import " + dir.Write("list.txt", listFile) + " --utf8");

  Program program(config, data);
  int http = program.Start();
  ASSERT_GT(http, 0);
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(HttpGet(http, HitTarget(Format("3301021990030%05d", i), "M", Format("%d", 3301 + i))).status, 200);
  }
  SleepMs(1500);  // the sender tries and fails meanwhile
  program.Stop();
  http = program.Start();
  ASSERT_GT(http, 0);
  for (int i = 5; i < 10; ++i) {
    ASSERT_EQ(HttpGet(http, HitTarget(Format("3301021990030%05d", i), "M", Format("%d", 3301 + i))).status, 200);
  }
  SleepMs(1000);
  ASSERT_EQ(robot.Start(port), port);
  ASSERT_TRUE(robot.WaitFor(10, 30000));
  SleepMs(500);
  const auto messages = robot.Messages();
  ASSERT_EQ(messages.size(), 10u);
  for (int i = 0; i < 10; ++i) {
    EXPECT_TRUE(messages[i].signatureValid);
    EXPECT_NE(messages[i].text.find(Format("网吧 %d ", 3301 + i)), std::string::npos) << i << messages[i].text;
    EXPECT_NE(messages[i].text.find(kMaskedId), std::string::npos) << messages[i].text;
  }
  const std::string list = RunCentral("--config " + config + " --data " + data + " webhook list");
  EXPECT_NE(list.find("ding\tdingtalk (signed)\thttp://127.0.0.1:"), std::string::npos) << list;
  EXPECT_NE(list.find("\t0\t10\t0\t"), std::string::npos) << list;
}

// A zone where it is about noon now: the test's local day does not end while it runs.
std::string NoonZone() {
  const int east = 12 - static_cast<int>(NowMs() / 1000 / 3600 % 24);  // -11 .. 12
  return east >= 0 ? Format("Etc/GMT-%d", east) : Format("Etc/GMT+%d", -east);
}

TEST(WebhookDigest, AServiceStartedAfterTheDigestTimeSendsTheDaysDigestAtOnceAndOnlyOnce) {
  TempDir dir("webhook_digest");
  FakeRobot robot(RobotKind::WeCom);
  robot.Start();
  const std::string config = dir.Write("central.conf",
      "time_zone = " + NoonZone() + "\n"
      "webhook.daily.kind = wecom\nwebhook.daily.url = " + robot.Url() + "\n"
      "webhook.daily.events = hits,digest\nwebhook.daily.digest_time = 00:00\n"
      "webhook.daily.per_minute = 1200\ntest_keys = yes\n");
  const std::string data = dir.Path("data");
  const std::string base = "--config " + config + " --data " + data + " ";
  EXPECT_EQ(RunCentral(base + "init").find("tollimer-central:"), std::string::npos);
  RunCentral(base + "blacklist import " + dir.Write("list.txt", ListedPeople(0).back().line + "\n") + " --utf8");
  {
    // The day so far: two hits at bar 3301 (and one two days ago), an
    // installation quiet for seven hours (silent after six when no refresh
    // interval is set) and one seen now.
    std::string error;
    const std::unique_ptr<CentralStore> store = CentralStore::Open(data + "/central.db", error);
    ASSERT_TRUE(store) << error;
    const std::int64_t now = NowMs() / 1000;
    InstallReport quiet;
    quiet.mac = "00E04C000001";
    quiet.diskSerial = "D1";
    quiet.barId = "3303";
    quiet.barName = "太阳网吧";
    quiet.versionCrc = "1A2B3C4D";
    InstallReport fresh = quiet;
    fresh.mac = "00E04C000002";
    ASSERT_TRUE(store->RecordInstall(quiet, "10.0.0.9", 0, now - 7 * 3600));
    ASSERT_TRUE(store->RecordInstall(fresh, "10.0.0.8", 0, now));
    for (const std::int64_t ago : {120, 60, 2 * 86400}) {
      ASSERT_TRUE(store->RecordHit({kId, "M", "3301", "星空网吧"}, "10.0.0.1", now - ago));
    }
  }

  Program program(config, data);
  ASSERT_GT(program.Start(), 0);
  ASSERT_TRUE(robot.WaitFor(1, 10000));
  const std::string digest = robot.Messages()[0].text;
  EXPECT_EQ(digest.find("【每日汇总】"), 0u) << digest;
  EXPECT_NE(digest.find("今日黑名单命中 2 次\n  网吧 3301 星空网吧：2 次\n失联装机 1 台\n  网吧 3303 太阳网吧 10.0.0.9 "),
            std::string::npos)
      << digest;

  // Started again the same day: the next message is a hit's, no second digest.
  program.Stop();
  const int http = program.Start();
  ASSERT_GT(http, 0);
  ASSERT_EQ(HttpGet(http, HitTarget(kId, "M", "3301")).status, 200);
  ASSERT_TRUE(robot.WaitFor(2, 10000));
  SleepMs(1000);
  const auto messages = robot.Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[1].text.find("【黑名单命中】"), 0u) << messages[1].text;
}

TEST(WebhookCommand, TestSendsAMessageAndPrintsTheRobotsAnswer) {
  TempDir dir("webhook_command");
  FakeRobot robot(RobotKind::Feishu, "sek");
  robot.Start();
  const std::string config = dir.Write("central.conf",
      "webhook.fs.kind = feishu\nwebhook.fs.url = " + robot.Url() + "\nwebhook.fs.secret = sek\n"
      "webhook.bad.kind = feishu\nwebhook.bad.url = " + robot.Url() + "\nwebhook.bad.secret = wrong\n");
  const std::string base = "--config " + config + " --data " + dir.Path("data") + " ";
  const std::string out = RunCentral(base + "webhook test fs");
  EXPECT_NE(out.find("HTTP 200\n{\"code\":0,\"msg\":\"success\""), std::string::npos) << out;
  EXPECT_NE(out.find("delivered"), std::string::npos) << out;
  ASSERT_EQ(robot.Messages().size(), 1u);
  EXPECT_NE(robot.Messages()[0].text.find("测试"), std::string::npos);
  const std::string refused = RunCentral(base + "webhook test bad");
  EXPECT_NE(refused.find("not delivered: robot answered {\"code\":310000"), std::string::npos) << refused;
  EXPECT_NE(RunCentral(base + "webhook test nobody").find("no webhook nobody"), std::string::npos);
  const std::string shown = RunCentral(base + "config");
  EXPECT_EQ(shown.find("sek"), std::string::npos) << shown;
  EXPECT_NE(shown.find("webhook.fs.secret = (hidden)"), std::string::npos) << shown;
}

}  // namespace
