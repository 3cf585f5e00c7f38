#include "central/status/status_view.h"

#include <algorithm>
#include <set>

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

BarRow& RowOf(std::map<std::string, BarRow>& bars, const std::string& barId) {
  BarRow& row = bars[barId];
  row.barId = barId;
  return row;
}

}  // namespace

StatusInput ReadStatusInput(CentralStore& store, std::int64_t now, std::int64_t uptimeSeconds) {
  StatusInput in;
  in.installs = store.Installs();
  in.releases = store.Releases();
  for (const InstallRow& i : in.installs) {
    if (!in.barParams.count(i.report.barId)) in.barParams[i.report.barId] = store.ParamsFor(i.report.barId);
  }
  // A day more than the charts: their first local day may begin before
  // exactly kChartDays * 24 hours ago.
  in.hits = store.Hits(now - (kChartDays + 1) * kDay);
  in.notices = store.Notices(20);
  in.outbox = store.OutboxStates(now * 1000);
  in.uptimeSeconds = uptimeSeconds;
  return in;
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
  const std::int64_t weekAgo = now - kHitTableDays * kDay;

  for (const ReleaseRow& r : in.releases) {
    if (r.current) {
      v.currentReleases.push_back({r.info.machine, r.info.crc, 0, in.signedReleases.count(r.info.crc) > 0});
    }
  }
  std::sort(v.currentReleases.begin(), v.currentReleases.end(),
            [](const CurrentRelease& a, const CurrentRelease& b) { return a.machine < b.machine; });

  v.inServicePerDay = EmptyDays(today);
  std::map<std::string, BarRow> bars;
  std::map<std::string, std::map<std::string, int>> barVersions;
  for (const InstallRow& i : in.installs) {
    ++v.installations;
    if (i.lastSeen >= now - kDay) ++v.seenLastDay;
    for (CurrentRelease& c : v.currentReleases) {
      if (c.crc == i.report.versionCrc) ++c.installations;
    }
    const auto params = in.barParams.find(i.report.barId);
    const int refresh = RefreshMinutes(params == in.barParams.end() ? ParamList() : params->second);
    if (now - i.lastSeen > 2 * std::int64_t{refresh} * 60) {
      v.silent.push_back({i.report.barId, i.report.barName, i.address, i.report.versionCrc, i.lastSeen, refresh});
    }
    BarRow& bar = RowOf(bars, i.report.barId);
    ++bar.installations;
    if (bar.barName.empty() || i.lastSeen >= bar.lastSeen) bar.barName = i.report.barName;
    bar.lastSeen = std::max(bar.lastSeen, i.lastSeen);
    ++barVersions[i.report.barId][i.report.versionCrc];
    const std::int64_t first = zone.LocalDay(i.firstSeen), last = zone.LocalDay(i.lastSeen);
    for (DayCount& d : v.inServicePerDay) {
      if (first <= d.day && d.day <= last) ++d.count;
    }
  }
  std::stable_sort(v.silent.begin(), v.silent.end(),
                   [](const SilentInstall& a, const SilentInstall& b) { return a.lastSeen > b.lastSeen; });

  v.hitsPerDay = EmptyDays(today);
  for (const StatusHit& h : in.hits) {
    const std::int64_t day = zone.LocalDay(h.time);
    if (day == today) ++v.hitsToday;
    if (day > today - kChartDays && day <= today) ++v.hitsPerDay[static_cast<std::size_t>(day - (today - kChartDays + 1))].count;
    if (h.time < weekAgo) continue;
    ++v.recentHits;
    if (v.recentHitRows.size() < kHitRowsShown) v.recentHitRows.push_back(h);
    const auto bar = bars.find(h.barId);
    if (bar != bars.end()) ++bar->second.recentHits;
  }

  for (auto& [barId, row] : bars) {
    for (const auto& [crc, count] : barVersions[barId]) {
      row.versions.push_back({crc, count, versions.current.count(crc) > 0, versions.known.count(crc) > 0});
    }
    std::stable_sort(row.versions.begin(), row.versions.end(),
                     [](const BarVersion& a, const BarVersion& b) { return a.installations > b.installations; });
    v.barRows.push_back(std::move(row));
  }
  v.bars = static_cast<int>(v.barRows.size());
  return v;
}
