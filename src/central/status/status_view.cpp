#include "central/status/status_view.h"

#include <algorithm>
#include <limits>
#include <set>
#include <string_view>

#include "settings/run_params.h"
#include "util/text.h"

namespace {

constexpr std::int64_t kDay = 86400;

struct Versions {
  std::set<std::string> current, known;
};

Versions ReleaseVersions(const std::vector<ReleaseRow>& releases) {
  Versions v;
  for (const ReleaseRow& r : releases) {
    v.known.insert(r.info.crc);
    if (r.current) v.current.insert(r.info.crc);
  }
  return v;
}

std::vector<DayCount> EmptyDays(std::int64_t today) {
  std::vector<DayCount> days;
  for (std::int64_t d = today - kChartDays + 1; d <= today; ++d) days.push_back({d, 0});
  return days;
}

}  // namespace

std::vector<SilentInstall> ReadSilentInstalls(CentralStore& store, std::int64_t now, int limit, int& count) {
  // Each bar's refresh interval through the same lookup the exchange
  // answers with: the global one, and that of each bar with parameters of
  // its own (a few, read once here, not per installation).
  const int globalRefresh = RefreshMinutes(store.ParamsFor(""));
  std::map<std::string, int> ownRefresh;
  for (const ParamRow& p : store.Params()) {
    if (!p.barId.empty() && !ownRefresh.count(p.barId)) ownRefresh[p.barId] = RefreshMinutes(store.ParamsFor(p.barId));
  }
  return store.SilentInstalls(
      now,
      [&](const std::string& barId) {
        const auto own = ownRefresh.find(barId);
        return own == ownRefresh.end() ? globalRefresh : own->second;
      },
      limit, count);
}

StatusInput ReadStatusInput(CentralStore& store, std::int64_t now, std::int64_t uptimeSeconds,
                            const StatusPageAt& at) {
  StatusInput in;
  in.at = at;
  in.releases = store.Releases();
  in.installations = store.CountInstallations(now);
  in.installsPerVersion = store.CountInstallsPerVersion();
  in.bars = store.CountBars();
  in.barPage = store.BarPage(at.barsFrom, kBarRowsShown);
  in.silent = ReadSilentInstalls(store, now, static_cast<int>(kSilentRowsShown), in.silentCount);
  // A day more than the charts: their first local day may begin before
  // exactly kChartDays * 24 hours ago.
  in.hitSpans = store.CountHitsPer(now - (kChartDays + 1) * kDay, now, kHitSpanSeconds);
  in.contacts = store.CountContactsPer(now - (kChartDays + 1) * kDay, kHitSpanSeconds);
  const std::int64_t weekAgo = now - kHitTableDays * kDay;
  in.recentHits = static_cast<int>(store.CountHits(weekAgo));
  std::vector<std::string> pageBars;
  for (const BarInstalls& b : in.barPage) pageBars.push_back(b.barId);
  in.barHits = store.CountBarHits(weekAgo, pageBars);
  constexpr std::int64_t kNewest = std::numeric_limits<std::int64_t>::max();
  in.hitRows = store.HitsBefore(weekAgo, at.hitsFromCursor ? at.hitsBeforeTime : kNewest,
                                at.hitsFromCursor ? at.hitsBeforeSeq : kNewest, static_cast<int>(kHitRowsShown) + 1);
  in.notices = store.Notices(20);
  in.outbox = store.OutboxStates(now * 1000);
  in.uptimeSeconds = uptimeSeconds;
  return in;
}

namespace {

// Digits only, at most `digits` of them: no sign, no space, nothing after.
std::optional<std::int64_t> PlainNumber(std::string_view text, std::size_t digits) {
  if (text.empty() || text.size() > digits) return std::nullopt;
  std::int64_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  return n;
}

}  // namespace

std::optional<StatusPageAt> ParseStatusPageAt(const std::vector<std::pair<std::string, std::string>>& params) {
  StatusPageAt at;
  bool barsGiven = false;
  for (const auto& [name, value] : params) {
    if (name == "hits_before") {
      const std::size_t dot = value.find('.');
      if (at.hitsFromCursor || dot == std::string::npos) return std::nullopt;
      const auto time = PlainNumber(std::string_view(value).substr(0, dot), 18);
      const auto seq = PlainNumber(std::string_view(value).substr(dot + 1), 18);
      if (!time || !seq) return std::nullopt;
      at.hitsFromCursor = true;
      at.hitsBeforeTime = *time;
      at.hitsBeforeSeq = *seq;
    } else if (name == "bars_from") {
      const auto from = PlainNumber(value, 9);
      if (barsGiven || !from) return std::nullopt;
      barsGiven = true;
      at.barsFrom = static_cast<std::size_t>(*from);
    }
  }
  return at;
}

std::string StatusPageQuery(const StatusPageAt& at) {
  std::string query;
  if (at.hitsFromCursor) {
    query += Format("hits_before=%lld.%lld", static_cast<long long>(at.hitsBeforeTime),
                    static_cast<long long>(at.hitsBeforeSeq));
  }
  if (at.barsFrom > 0) query += (query.empty() ? "" : "&") + Format("bars_from=%zu", at.barsFrom);
  return "?" + query;
}

int RefreshMinutes(const ParamList& params) {
  TCenterPar par;
  ApplyServiceAnswer(par, [&params](const std::string& key) -> std::optional<std::string> {
    for (const auto& [name, value] : params) {
      if (SameTextAscii(name, key)) return value;
    }
    return std::nullopt;
  });
  return par.ParamRefreshMinutes;
}

StatusView BuildStatusView(const StatusInput& in, std::int64_t now, const TimeZone& zone) {
  StatusView v;
  v.uptimeSeconds = in.uptimeSeconds;
  v.notices = in.notices;
  const Versions versions = ReleaseVersions(in.releases);
  const std::int64_t today = zone.LocalDay(now);

  for (const ReleaseRow& r : in.releases) {
    if (r.current) {
      v.currentReleases.push_back({r.info.machine, r.info.crc, 0, in.signedReleases.count(r.info.crc) > 0});
    }
  }
  std::sort(v.currentReleases.begin(), v.currentReleases.end(),
            [](const CurrentRelease& a, const CurrentRelease& b) { return a.machine < b.machine; });

  v.installations = in.installations.known;
  v.seenLastDay = in.installations.seenLastDay;
  for (CurrentRelease& c : v.currentReleases) {
    const auto count = in.installsPerVersion.find(c.crc);
    if (count != in.installsPerVersion.end()) c.installations = count->second;
  }
  v.silent = in.silent;
  v.silentCount = in.silentCount;

  // In service on a day: first seen on or before it, less those last seen
  // before it (an installation is last seen no earlier than first seen).
  v.inServicePerDay = EmptyDays(today);
  std::vector<int> firstOn(kChartDays), lastOn(kChartDays);
  int firstBefore = in.contacts.firstBefore, lastBefore = in.contacts.lastBefore;
  const auto spread = [&](const std::vector<std::pair<std::int64_t, int>>& spans, std::vector<int>& on, int& before) {
    for (const auto& [start, count] : spans) {
      const std::int64_t day = zone.LocalDay(start);
      if (day <= today - kChartDays) {
        before += count;
      } else if (day <= today) {
        on[static_cast<std::size_t>(day - (today - kChartDays + 1))] += count;
      }
    }
  };
  spread(in.contacts.first, firstOn, firstBefore);
  spread(in.contacts.last, lastOn, lastBefore);
  int firstUpTo = firstBefore, lastBeforeDay = lastBefore;
  for (std::size_t d = 0; d < v.inServicePerDay.size(); ++d) {
    firstUpTo += firstOn[d];
    v.inServicePerDay[d].count = firstUpTo - lastBeforeDay;
    lastBeforeDay += lastOn[d];
  }

  v.hitsPerDay = EmptyDays(today);
  for (const auto& [start, count] : in.hitSpans) {
    const std::int64_t day = zone.LocalDay(start);
    if (day == today) v.hitsToday += count;
    if (day > today - kChartDays && day <= today) v.hitsPerDay[static_cast<std::size_t>(day - (today - kChartDays + 1))].count += count;
  }
  v.recentHits = in.recentHits;
  v.at = in.at;
  v.moreHits = in.hitRows.size() > kHitRowsShown;
  v.recentHitRows.assign(in.hitRows.begin(), in.hitRows.begin() + static_cast<std::ptrdiff_t>(
                                                                 std::min(in.hitRows.size(), kHitRowsShown)));
  v.bars = in.bars;
  for (const BarInstalls& b : in.barPage) {
    BarRow row;
    row.barId = b.barId;
    row.barName = b.barName;
    row.lastSeen = b.lastSeen;
    for (const auto& [crc, count] : b.versions) {
      row.installations += count;
      row.versions.push_back({crc, count, versions.current.count(crc) > 0, versions.known.count(crc) > 0});
    }
    std::stable_sort(row.versions.begin(), row.versions.end(),
                     [](const BarVersion& a, const BarVersion& b) { return a.installations > b.installations; });
    const auto hits = in.barHits.find(b.barId);
    if (hits != in.barHits.end()) row.recentHits = hits->second;
    v.barRows.push_back(std::move(row));
  }
  return v;
}
