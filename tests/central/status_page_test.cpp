#include "central/status/status_page.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "central/chain_seed.h"
#include "central/status/status_view.h"
#include "central/store/store.h"
#include "fakes/temp_dir.h"

namespace {

constexpr std::int64_t kMinute = 60, kHour = 3600, kDay = 86400;
// 2024-03-07 01:00:00 in Beijing, 2024-03-06 17:00:00 UTC.
constexpr std::int64_t kNow = 1709744400;

TimeZone Shanghai() {
  std::string error;
  const std::optional<TimeZone> zone = LoadTimeZone("Asia/Shanghai", error);
  EXPECT_TRUE(zone) << error;
  return zone.value_or(TimeZone::Utc());
}

InstallRow Install(const std::string& barId, const std::string& mac, std::int64_t lastSeen,
                   const std::string& crc = "5E6F7A8B", std::int64_t firstSeen = kNow - 20 * kDay) {
  InstallRow row;
  row.report.barId = barId;
  row.report.barName = "网吧 " + barId;
  row.report.mac = mac;
  row.report.versionCrc = crc;
  row.address = "10.0.0." + mac;
  row.firstSeen = firstSeen;
  row.lastSeen = lastSeen;
  return row;
}

ReleaseRow Release(const std::string& crc, const std::string& machine, bool current) {
  ReleaseRow r;
  r.info.crc = crc;
  r.info.machine = machine;
  r.current = current;
  return r;
}

// Bars with their own refresh intervals beside the global 60 minutes.
StatusInput Chain() {
  StatusInput in;
  const ParamList global = {{"delay", "101"}, {"interval", "60"}};
  in.barParams["A"] = {{"delay", "101"}, {"INTERVAL", "720"}};  // the assistant reads names in any case
  in.barParams["B"] = {{"interval", "abc"}};                    // not a number: the assistant's 180
  in.barParams["C"] = {{"interval", "0"}};                      // the assistant refreshes at least every minute
  in.barParams["D"] = global;
  in.releases = {Release("1A2B3C4D", "x86", false), Release("5E6F7A8B", "x86", true),
                 Release("9C0D1E2F", "x64", true)};
  return in;
}

TEST(StatusView, SilentInstallationsAreThoseQuietForTwiceTheirBarsRefreshInterval) {
  StatusInput in = Chain();
  in.installs = {
      Install("A", "1", kNow - 5 * kHour),                // 2 x 720 minutes: still fine
      Install("A", "2", kNow - 25 * kHour),               // silent
      Install("B", "3", kNow - (6 * kHour - kMinute)),    // 2 x 180 minutes: fine
      Install("B", "4", kNow - (6 * kHour + kMinute)),    // silent
      Install("C", "5", kNow - 3 * kMinute),              // 2 x 1 minute: silent
      Install("D", "6", kNow - 119 * kMinute),            // 2 x 60 minutes: fine
      Install("D", "7", kNow - 121 * kMinute),            // silent
      Install("E", "8", kNow - 7 * kHour),                // no parameters at all: 180, silent
  };
  const StatusView v = BuildStatusView(in, kNow, Shanghai());
  std::vector<std::string> silent;
  for (const SilentInstall& s : v.silent) silent.push_back(s.barId + s.address.substr(7));
  // The most recently seen first.
  EXPECT_EQ(silent, (std::vector<std::string>{"C5", "D7", "B4", "E8", "A2"}));
  EXPECT_EQ(v.silent[0].refreshMinutes, 1);
  EXPECT_EQ(v.silent.back().refreshMinutes, 720);
  EXPECT_EQ(v.installations, 8);
  EXPECT_EQ(v.seenLastDay, 7);
}

// However many hits come, the table lists the newest kHitRowsShown; the
// counts still count them all.
TEST(StatusView, TheHitTableListsTheNewestAndCountsAll) {
  StatusInput in = Chain();
  in.hits.clear();
  const int many = static_cast<int>(kHitRowsShown) + 50;
  for (int i = 0; i < many; ++i) in.hits.push_back({kNow - i * 60, "110101199003071233", "M", "A", "A", "x"});
  const StatusView v = BuildStatusView(in, kNow, Shanghai());
  EXPECT_EQ(v.recentHits, many);
  ASSERT_EQ(v.recentHitRows.size(), kHitRowsShown);
  EXPECT_EQ(v.recentHitRows.front().time, kNow);
  EXPECT_EQ(v.recentHitRows.back().time, kNow - static_cast<std::int64_t>(kHitRowsShown - 1) * 60);
}

TEST(StatusView, PerBarRowsMarkOldAndUnknownBuildsAndCountTheWeeksHits) {
  StatusInput in = Chain();
  in.installs = {
      Install("A", "1", kNow - 2 * kHour, "5E6F7A8B"), Install("A", "2", kNow - kHour, "5E6F7A8B"),
      Install("A", "3", kNow - 3 * kHour, "1A2B3C4D"), Install("A", "4", kNow - 4 * kHour, "DEADBEEF"),
      Install("B", "5", kNow - 9 * kHour, "9C0D1E2F"),
  };
  in.installs[1].report.barName = "新名字";  // the most recently seen installation names the bar
  in.hits = {{kNow - kHour, "110101199003071233", "M", "A", "网吧 A", "x"},
             {kNow - 6 * kDay, "110101199003071233", "M", "A", "网吧 A", "x"},
             {kNow - 8 * kDay, "110101199003071233", "M", "A", "网吧 A", "x"},  // older than a week
             {kNow - 2 * kDay, "110101199003071233", "M", "Z", "不在册", "x"}};
  const StatusView v = BuildStatusView(in, kNow, Shanghai());
  ASSERT_EQ(v.barRows.size(), 2u);
  const BarRow& a = v.barRows[0];
  EXPECT_EQ(a.barId, "A");
  EXPECT_EQ(a.barName, "新名字");
  EXPECT_EQ(a.installations, 4);
  EXPECT_EQ(a.lastSeen, kNow - kHour);
  EXPECT_EQ(a.recentHits, 2);
  ASSERT_EQ(a.versions.size(), 3u);
  EXPECT_EQ(a.versions[0].crc, "5E6F7A8B");
  EXPECT_EQ(a.versions[0].installations, 2);
  EXPECT_TRUE(a.versions[0].current);
  for (const BarVersion& ver : a.versions) {
    EXPECT_EQ(ver.current, ver.crc == "5E6F7A8B") << ver.crc;
    EXPECT_EQ(ver.known, ver.crc != "DEADBEEF") << ver.crc;
  }
  EXPECT_EQ(v.bars, 2);
  EXPECT_EQ(v.recentHits, 3);
  EXPECT_EQ(v.recentHitRows.size(), 3u);
  ASSERT_EQ(v.currentReleases.size(), 2u);
  EXPECT_EQ(v.currentReleases[0].machine, "x64");
  EXPECT_EQ(v.currentReleases[0].installations, 1);
  EXPECT_EQ(v.currentReleases[1].machine, "x86");
  EXPECT_EQ(v.currentReleases[1].installations, 2);
}

TEST(StatusView, DaysAreTheZonesDays) {
  StatusInput in = Chain();
  // 00:30 and 23:30 in Beijing: one UTC day (2024-03-06), two local days.
  in.hits = {{kNow - 30 * kMinute, "1", "M", "A", "a", "x"}, {kNow - 90 * kMinute, "2", "M", "A", "a", "x"},
             {kNow - 29 * kDay, "3", "M", "A", "a", "x"}, {kNow - 31 * kDay, "4", "M", "A", "a", "x"}};
  // In service from three days ago to yesterday.
  in.installs = {Install("A", "1", kNow - 2 * kHour, "5E6F7A8B", kNow - 3 * kDay)};
  const StatusView v = BuildStatusView(in, kNow, Shanghai());
  EXPECT_EQ(v.hitsToday, 1);
  ASSERT_EQ(v.hitsPerDay.size(), static_cast<std::size_t>(kChartDays));
  EXPECT_EQ(v.hitsPerDay.back().day, DaysFromCivil(2024, 3, 7));
  EXPECT_EQ(v.hitsPerDay.back().count, 1);
  EXPECT_EQ(v.hitsPerDay[kChartDays - 2].count, 1);
  EXPECT_EQ(v.hitsPerDay.front().count, 1);  // 29 days ago is the chart's first day; 31 is off it
  std::vector<int> inService;
  for (const DayCount& d : v.inServicePerDay) inService.push_back(d.count);
  EXPECT_EQ(std::accumulate(inService.begin(), inService.end(), 0), 3);
  EXPECT_EQ(inService[kChartDays - 1], 0);  // today: last seen at 23:00 yesterday, Beijing time
  EXPECT_EQ(inService[kChartDays - 2], 1);
  EXPECT_EQ(inService[kChartDays - 4], 1);
}

TEST(StatusPage, EscapesEverythingThatCameFromTheField) {
  StatusInput in = Chain();
  in.installs = {Install("<script>alert(1)</script>", "1", kNow - 9 * kHour, "<b>")};
  in.installs[0].report.barName = "<script>alert(2)</script>";
  in.installs[0].address = "</td><td>";
  in.hits = {{1709740000, "<script>alert(1)</script>", "A&B", "\"1\"", "网吧'x'", "10.0.0.5"}};
  in.notices = {{1709740000, "10.0.0.5", "</td><img src=x onerror=alert(1)>"}};
  const std::string html = RenderStatusPage(in, kNow, Shanghai());
  EXPECT_EQ(html.find("<script"), std::string::npos);
  EXPECT_EQ(html.find("<img"), std::string::npos);
  EXPECT_EQ(html.find("<b>"), std::string::npos);
  EXPECT_NE(html.find("<td>&lt;/td&gt;&lt;td&gt;</td>"), std::string::npos);
  EXPECT_NE(html.find("&lt;script&gt;alert(2)&lt;/script&gt;"), std::string::npos);
  EXPECT_NE(html.find("A&amp;B"), std::string::npos);
  EXPECT_NE(html.find("&quot;1&quot;"), std::string::npos);
  EXPECT_NE(html.find("&#39;x&#39;"), std::string::npos);
  // The hit's ID is masked: digits 13 to 18 are never shown.
  EXPECT_NE(html.find("&lt;script&gt;alerxxxxxx"), std::string::npos);
}

TEST(StatusPage, TimesAreInTheZoneAndChartsAreSelfContained) {
  StatusInput in = Chain();
  in.installs = {Install("A", "1", 1700000000, "1A2B3C4D")};
  in.hits = {{kNow - kHour, "110101199003071233", "00-1A", "A", "网吧 A", "10.0.0.5"}};
  const std::string html = RenderStatusPage(in, kNow, Shanghai());
  EXPECT_NE(html.find("更新于 2024-03-07 01:00:00（Asia/Shanghai）"), std::string::npos);
  EXPECT_NE(html.find("2023-11-15 06:13:20"), std::string::npos);  // 22:13:20 UTC the day before
  EXPECT_NE(html.find("<td>110101199003xxxxxx</td>"), std::string::npos);
  EXPECT_NE(html.find("失联装机（1）"), std::string::npos);
  EXPECT_NE(html.find("<span class=\"old\">"), std::string::npos);  // none of the bar's builds is current
  std::size_t charts = 0;
  for (std::size_t at = html.find("<svg"); at != std::string::npos; at = html.find("<svg", at + 1)) ++charts;
  EXPECT_EQ(charts, 2u);
  for (const char* outside : {"<script", "href=", "src=", "<link", "url("}) {
    EXPECT_EQ(html.find(outside), std::string::npos) << outside;
  }
}

TEST(StatusPage, ReloadsItselfOnceAMinute) {
  const std::string html = RenderStatusPage(StatusInput(), kNow, TimeZone::Utc());
  const std::size_t head = html.find("</head>");
  EXPECT_LT(html.find("<meta http-equiv=\"refresh\" content=\"60\">"), head);
}

TEST(StatusPage, TheSeededChainOfFiftyBars) {
  TempDir dir("status_page_chain");
  std::string error;
  auto store = CentralStore::Open(dir.Path("central.db"), error);
  ASSERT_TRUE(store) << error;
  ChainSeed seeded;
  ASSERT_TRUE(SeedChain(*store, kNow, 50, seeded));
  const StatusInput in = ReadStatusInput(*store, kNow, 3 * kDay + 5);
  const StatusView v = BuildStatusView(in, kNow, Shanghai());
  EXPECT_EQ(v.bars, 50);
  EXPECT_EQ(v.installations, seeded.installations);
  EXPECT_EQ(std::accumulate(v.hitsPerDay.begin(), v.hitsPerDay.end(), 0,
                            [](int sum, const DayCount& d) { return sum + d.count; }),
            seeded.hits);
  // Silent exactly where the refresh interval of the installation's bar says so.
  std::size_t quiet = 0;
  for (const InstallRow& i : in.installs) {
    const int refresh = i.report.barId == kSeedSlowBar ? 720 : 60;
    if (kNow - i.lastSeen > 2 * refresh * kMinute) ++quiet;
    if (i.report.barId == kSeedSlowBar && kNow - i.lastSeen == 5 * kHour) {
      for (const SilentInstall& s : v.silent) EXPECT_NE(s.lastSeen, i.lastSeen) << "the slow bar's 5 h";
    }
  }
  EXPECT_EQ(v.silent.size(), quiet);
  EXPECT_GT(quiet, 0u);
  EXPECT_TRUE(std::is_sorted(v.silent.begin(), v.silent.end(),
                             [](const SilentInstall& a, const SilentInstall& b) { return a.lastSeen > b.lastSeen; }));
  const std::string html = RenderStatusPage(in, kNow, Shanghai());
  EXPECT_NE(html.find("<td>3 天 00:00:05</td>"), std::string::npos);
  EXPECT_NE(html.find("各网吧（50）"), std::string::npos);
}

}  // namespace
