#include "central/status/status_page.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <numeric>

#include "central/chain_seed.h"
#include "central/status/status_view.h"
#include "central/store/store.h"
#include "fakes/temp_dir.h"
#include "util/text.h"

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

// What a page is made from, written into a real store and read back as the
// service reads it: bars with their own refresh intervals beside the global
// 60 minutes, three releases, the installations and hits of a test.
class ChainStore {
 public:
  ChainStore() : dir_("status_view") {
    std::string error;
    store_ = CentralStore::Open(dir_.Path("central.db"), error);
    EXPECT_TRUE(store_) << error;
    EXPECT_TRUE(store_->AddRelease({"1A2B3C4D", std::string(32, 'a'), 1000, "x86"}, kNow - 40 * kDay) &&
                store_->AddRelease({"5E6F7A8B", std::string(32, 'b'), 1000, "x86"}, kNow - 9 * kDay) &&
                store_->AddRelease({"9C0D1E2F", std::string(32, 'c'), 1000, "x64"}, kNow - 9 * kDay));
    const std::vector<ParamRow> params = {
        {"A", "delay", "101"}, {"A", "INTERVAL", "720"},  // the assistant reads names in any case
        {"B", "interval", "abc"},                        // not a number: the assistant's 180
        {"C", "interval", "0"},                          // the assistant refreshes at least every minute
        {"D", "delay", "101"},  {"D", "interval", "60"}};
    for (const ParamRow& p : params) EXPECT_TRUE(store_->SetParam(p.barId, p.name, p.value));
  }

  void Add(const std::vector<InstallRow>& installs) {
    for (const InstallRow& i : installs) {
      EXPECT_TRUE(store_->RecordInstall(i.report, i.address, 1, i.firstSeen) &&
                  store_->RecordInstall(i.report, i.address, 2, i.lastSeen));
    }
  }
  void Add(const std::vector<StatusHit>& hits) {
    for (const StatusHit& h : hits) {
      EXPECT_TRUE(store_->RecordHit({h.idNumber, h.mac, h.barId, h.barName}, h.address, h.time));
    }
  }
  StatusInput Read(const StatusPageAt& at = StatusPageAt()) { return ReadStatusInput(*store_, kNow, 0, at); }
  CentralStore& Store() { return *store_; }

 private:
  TempDir dir_;
  std::unique_ptr<CentralStore> store_;
};

StatusInput Chain(const std::vector<InstallRow>& installs, const std::vector<StatusHit>& hits = {}) {
  ChainStore chain;
  chain.Add(installs);
  chain.Add(hits);
  return chain.Read();
}

TEST(StatusView, SilentInstallationsAreThoseQuietForTwiceTheirBarsRefreshInterval) {
  const StatusInput in = Chain({
      Install("A", "1", kNow - 5 * kHour),                // 2 x 720 minutes: still fine
      Install("A", "2", kNow - 25 * kHour),               // silent
      Install("B", "3", kNow - (6 * kHour - kMinute)),    // 2 x 180 minutes: fine
      Install("B", "4", kNow - (6 * kHour + kMinute)),    // silent
      Install("C", "5", kNow - 3 * kMinute),              // 2 x 1 minute: silent
      Install("D", "6", kNow - 119 * kMinute),            // 2 x 60 minutes: fine
      Install("D", "7", kNow - 121 * kMinute),            // silent
      Install("E", "8", kNow - 7 * kHour),                // no parameters at all: 180, silent
  });
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

// However many hits come, a page of the table lists kHitRowsShown of them,
// the newest first; the counts still count them all, and the pages after it
// hold every other hit once (hits of one second are told apart by their
// order of arrival).
TEST(StatusView, TheHitTableIsPagedNewestFirstAndCountsAll) {
  ChainStore chain;
  std::vector<StatusHit> hits;
  const int many = 2 * static_cast<int>(kHitRowsShown) + 50;
  for (int i = 0; i < many; ++i) hits.push_back({kNow - i / 3 * 60, Format("1101011990030712%02d", i % 100), "M", "A", "A", "x"});
  hits.push_back({kNow - 8 * kDay, "110101199003071233", "M", "A", "A", "x"});  // older than the table's week
  chain.Add(hits);
  std::vector<StatusHit> seen;
  StatusPageAt at;
  for (int page = 0; page < 10; ++page) {
    const StatusView v = BuildStatusView(chain.Read(at), kNow, Shanghai());
    EXPECT_EQ(v.recentHits, many);
    ASSERT_LE(v.recentHitRows.size(), kHitRowsShown);
    seen.insert(seen.end(), v.recentHitRows.begin(), v.recentHitRows.end());
    if (!v.moreHits) break;
    EXPECT_EQ(v.recentHitRows.size(), kHitRowsShown);
    // The page's link to the next one, read back as the service reads a query.
    const std::string html = RenderStatusPage(chain.Read(at), kNow, Shanghai());
    const std::size_t link = html.find("href=\"?hits_before=");
    ASSERT_NE(link, std::string::npos);
    const std::size_t value = html.find('=', link + 6) + 1;
    const std::optional<StatusPageAt> next =
        ParseStatusPageAt({{"hits_before", html.substr(value, html.find('"', value) - value)}});
    ASSERT_TRUE(next);
    at = *next;
  }
  ASSERT_EQ(seen.size(), static_cast<std::size_t>(many));
  EXPECT_EQ(seen.front().time, kNow);
  for (std::size_t i = 1; i < seen.size(); ++i) {
    EXPECT_TRUE(seen[i].time < seen[i - 1].time || (seen[i].time == seen[i - 1].time && seen[i].seq < seen[i - 1].seq))
        << "row " << i;
  }
}

// A chain of more bars than a page shows: the bars come a page at a time by
// bar id, and the silent ones are counted whole and listed up to a bound.
TEST(StatusView, TheBarTableIsPagedAndTheSilentListBounded) {
  ChainStore chain;
  const int bars = static_cast<int>(kBarRowsShown) + 40;
  std::vector<InstallRow> installs;
  for (int b = 0; b < bars; ++b) installs.push_back(Install(Format("%05d", b), std::to_string(b), kNow - 10 * kDay));
  chain.Add(installs);
  const StatusView first = BuildStatusView(chain.Read(), kNow, Shanghai());
  EXPECT_EQ(first.bars, bars);
  ASSERT_EQ(first.barRows.size(), kBarRowsShown);
  EXPECT_EQ(first.barRows.front().barId, "00000");
  EXPECT_EQ(first.silentCount, bars);
  EXPECT_EQ(first.silent.size(), kSilentRowsShown);
  const std::string html = RenderStatusPage(chain.Read(), kNow, Shanghai());
  EXPECT_NE(html.find(Format("<a href=\"?bars_from=%zu\">", kBarRowsShown)), std::string::npos);
  EXPECT_NE(html.find(Format("失联装机（%d）", bars)), std::string::npos);
  std::size_t silentRows = 0;  // the address is shown in the silent list alone
  for (std::size_t at = html.find("<td>10.0.0."); at != std::string::npos; at = html.find("<td>10.0.0.", at + 1)) {
    ++silentRows;
  }
  EXPECT_EQ(silentRows, kSilentRowsShown);

  StatusPageAt at;
  at.barsFrom = kBarRowsShown;
  const StatusView second = BuildStatusView(chain.Read(at), kNow, Shanghai());
  ASSERT_EQ(second.barRows.size(), 40u);
  EXPECT_EQ(second.barRows.front().barId, Format("%05zu", kBarRowsShown));
  EXPECT_EQ(second.barRows.back().barId, Format("%05d", bars - 1));
  at.barsFrom = 100000;
  EXPECT_TRUE(BuildStatusView(chain.Read(at), kNow, Shanghai()).barRows.empty());
}

// A page's query, taken strictly: a value that is not what a link carries is
// refused whole (the service answers 400), an unknown name is ignored.
TEST(StatusView, ThePagesQueryIsReadStrictly) {
  struct Case {
    std::vector<std::pair<std::string, std::string>> params;
    bool ok;
    std::int64_t time, seq;
    std::size_t barsFrom;
  };
  const Case cases[] = {
      {{}, true, 0, 0, 0},
      {{{"hits_before", "1709744400.17"}}, true, 1709744400, 17, 0},
      {{{"bars_from", "300"}, {"hits_before", "5.0"}}, true, 5, 0, 300},
      {{{"refresh", "x"}}, true, 0, 0, 0},
      {{{"hits_before", "1709744400"}}, false, 0, 0, 0},
      {{{"hits_before", "-1.5"}}, false, 0, 0, 0},
      {{{"hits_before", "1.5x"}}, false, 0, 0, 0},
      {{{"hits_before", " 1.5"}}, false, 0, 0, 0},
      {{{"hits_before", "1.2.3"}}, false, 0, 0, 0},
      {{{"hits_before", "99999999999999999999.1"}}, false, 0, 0, 0},
      {{{"hits_before", "1.5"}, {"hits_before", "2.5"}}, false, 0, 0, 0},
      {{{"bars_from", ""}}, false, 0, 0, 0},
      {{{"bars_from", "1e3"}}, false, 0, 0, 0},
      {{{"bars_from", "1234567890"}}, false, 0, 0, 0},
  };
  for (const Case& c : cases) {
    const std::optional<StatusPageAt> at = ParseStatusPageAt(c.params);
    const std::string shown = c.params.empty() ? "(none)" : c.params[0].first + "=" + c.params[0].second;
    ASSERT_EQ(at.has_value(), c.ok) << shown;
    if (!at) continue;
    EXPECT_EQ(at->hitsFromCursor, c.time != 0) << shown;
    EXPECT_EQ(at->hitsBeforeTime, c.time) << shown;
    EXPECT_EQ(at->hitsBeforeSeq, c.seq) << shown;
    EXPECT_EQ(at->barsFrom, c.barsFrom) << shown;
    // The query a link carries reads back as the same page.
    const std::string query = StatusPageQuery(*at);
    std::vector<std::pair<std::string, std::string>> again;
    for (std::size_t from = 1; from < query.size();) {
      const std::size_t end = std::min(query.find('&', from), query.size());
      const std::string pair = query.substr(from, end - from);
      again.emplace_back(pair.substr(0, pair.find('=')), pair.substr(pair.find('=') + 1));
      from = end + 1;
    }
    const std::optional<StatusPageAt> back = ParseStatusPageAt(again);
    ASSERT_TRUE(back) << query;
    EXPECT_EQ(back->hitsBeforeTime, at->hitsBeforeTime) << query;
    EXPECT_EQ(back->barsFrom, at->barsFrom) << query;
  }
}

TEST(StatusView, PerBarRowsMarkOldAndUnknownBuildsAndCountTheWeeksHits) {
  std::vector<InstallRow> installs = {
      Install("A", "1", kNow - 2 * kHour, "5E6F7A8B"), Install("A", "2", kNow - kHour, "5E6F7A8B"),
      Install("A", "3", kNow - 3 * kHour, "1A2B3C4D"), Install("A", "4", kNow - 4 * kHour, "DEADBEEF"),
      Install("B", "5", kNow - 9 * kHour, "9C0D1E2F"),
  };
  installs[1].report.barName = "新名字";  // the most recently seen installation names the bar
  const StatusInput in = Chain(installs, {{kNow - kHour, "110101199003071233", "M", "A", "网吧 A", "x"},
                                          {kNow - 6 * kDay, "110101199003071233", "M", "A", "网吧 A", "x"},
                                          {kNow - 8 * kDay, "110101199003071233", "M", "A", "网吧 A", "x"},  // older than a week
                                          {kNow - 2 * kDay, "110101199003071233", "M", "Z", "不在册", "x"}});
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
  // 00:30 and 23:30 in Beijing: one UTC day (2024-03-06), two local days.
  // In service from three days ago to yesterday.
  const StatusInput in = Chain({Install("A", "1", kNow - 2 * kHour, "5E6F7A8B", kNow - 3 * kDay)},
                               {{kNow - 30 * kMinute, "1", "M", "A", "a", "x"}, {kNow - 90 * kMinute, "2", "M", "A", "a", "x"},
                                {kNow - 29 * kDay, "3", "M", "A", "a", "x"}, {kNow - 31 * kDay, "4", "M", "A", "a", "x"}});
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
  std::vector<InstallRow> installs = {Install("<script>alert(1)</script>", "1", kNow - 9 * kHour, "<b>")};
  installs[0].report.barName = "<script>alert(2)</script>";
  installs[0].address = "</td><td>";
  StatusInput in = Chain(installs, {{1709740000, "<script>alert(1)</script>", "A&B", "\"1\"", "网吧'x'", "10.0.0.5"}});
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
  const StatusInput in = Chain({Install("A", "1", 1700000000, "1A2B3C4D", 1690000000)},
                               {{kNow - kHour, "110101199003071233", "00-1A", "A", "网吧 A", "10.0.0.5"}});
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
  const std::vector<InstallRow> installs = store->Installs();
  std::size_t quiet = 0;
  for (const InstallRow& i : installs) {
    const int refresh = i.report.barId == kSeedSlowBar ? 720 : 60;
    if (kNow - i.lastSeen > 2 * refresh * kMinute) ++quiet;
    if (i.report.barId == kSeedSlowBar && kNow - i.lastSeen == 5 * kHour) {
      for (const SilentInstall& s : v.silent) EXPECT_NE(s.lastSeen, i.lastSeen) << "the slow bar's 5 h";
    }
  }
  EXPECT_EQ(v.silent.size(), quiet);
  EXPECT_EQ(v.silentCount, static_cast<int>(quiet));
  EXPECT_GT(quiet, 0u);
  // The store's aggregates against the installations' own rows: each bar's
  // count, builds, newest contact and the name its newest installation
  // reports, and the installations in service on each day of the chart.
  const TimeZone zone = Shanghai();
  std::map<std::string, BarRow> bars;
  std::map<std::string, std::map<std::string, int>> builds;
  std::vector<int> inService(kChartDays);
  const std::int64_t today = zone.LocalDay(kNow);
  for (const InstallRow& i : installs) {
    BarRow& bar = bars[i.report.barId];
    ++bar.installations;
    if (bar.installations == 1 || i.lastSeen >= bar.lastSeen) bar.barName = i.report.barName;
    bar.lastSeen = std::max(bar.lastSeen, i.lastSeen);
    ++builds[i.report.barId][i.report.versionCrc];
    for (int d = 0; d < kChartDays; ++d) {
      const std::int64_t day = today - kChartDays + 1 + d;
      if (zone.LocalDay(i.firstSeen) <= day && day <= zone.LocalDay(i.lastSeen)) ++inService[static_cast<std::size_t>(d)];
    }
  }
  ASSERT_EQ(v.barRows.size(), bars.size());
  for (const BarRow& row : v.barRows) {
    const BarRow& expected = bars[row.barId];
    EXPECT_EQ(row.installations, expected.installations) << row.barId;
    EXPECT_EQ(row.lastSeen, expected.lastSeen) << row.barId;
    EXPECT_EQ(row.barName, expected.barName) << row.barId;
    std::map<std::string, int> shown;
    for (const BarVersion& b : row.versions) shown[b.crc] = b.installations;
    EXPECT_EQ(shown, builds[row.barId]) << row.barId;
  }
  std::vector<int> shownInService;
  for (const DayCount& d : v.inServicePerDay) shownInService.push_back(d.count);
  EXPECT_EQ(shownInService, inService);
  EXPECT_TRUE(std::is_sorted(v.silent.begin(), v.silent.end(),
                             [](const SilentInstall& a, const SilentInstall& b) { return a.lastSeen > b.lastSeen; }));
  const std::string html = RenderStatusPage(in, kNow, Shanghai());
  EXPECT_NE(html.find("<td>3 天 00:00:05</td>"), std::string::npos);
  EXPECT_NE(html.find("各网吧（50）"), std::string::npos);
}

}  // namespace
