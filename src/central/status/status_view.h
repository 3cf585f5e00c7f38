// What the operator's status page shows, worked out from the store's rows,
// the time and the zone alone: which installations went silent, which bars
// run old builds, where listed people came in, and the daily counts of the
// last month. No clock and no store inside, so every figure is tested from
// literal rows.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "central/store/store.h"
#include "central/base/time_zone.h"

inline constexpr int kChartDays = 30;     // the charts' days, today included
inline constexpr int kHitTableDays = 7;   // the hit table and the bars' hit counts
// Rows a page of the hit table shows, the newest first: hits come without
// authentication, and the page must stay a page however many come. The
// earlier ones are on the next pages.
inline constexpr std::size_t kHitRowsShown = 100;
// Rows a page of the bar table shows, by bar id; the next bars on the next pages.
inline constexpr std::size_t kBarRowsShown = 300;
// Silent installations the page lists at most (the most recently seen); all are counted.
inline constexpr std::size_t kSilentRowsShown = 300;
// The hit chart's counts come from the store per this many seconds, each
// span put on the local day it begins in: every zone in use today is offset
// from UTC by whole quarter hours, so no span crosses a local midnight.
inline constexpr int kHitSpanSeconds = 900;

// Which page of the long tables: hits older than a hit (its time and
// sequence number), bars from an offset.
struct StatusPageAt {
  bool hitsFromCursor = false;
  std::int64_t hitsBeforeTime = 0;
  std::int64_t hitsBeforeSeq = 0;
  std::size_t barsFrom = 0;
};

// The page asked for by the query's parameters (`hits_before=TIME.SEQ`,
// `bars_from=N`; others are ignored). Nothing when a value is malformed.
std::optional<StatusPageAt> ParseStatusPageAt(const std::vector<std::pair<std::string, std::string>>& params);
// The query (with its "?") of a page, as the page's links carry it.
std::string StatusPageQuery(const StatusPageAt& at);

// What a page is made from: counts and aggregates of the installations and
// the hits, and the rows of one page of each long table.
struct StatusInput {
  CentralStore::InstallationCounts installations;
  std::map<std::string, int> installsPerVersion;  // checksum -> installations that run it
  int bars = 0;
  std::vector<BarInstalls> barPage;  // the page's bars, by bar id
  // First and last contacts since the charts' first day per kHitSpanSeconds.
  ContactSpans contacts;
  // The silent installations, the most recently seen first, at most
  // kSilentRowsShown of them; silentCount counts them all.
  std::vector<SilentInstall> silent;
  int silentCount = 0;
  std::vector<ReleaseRow> releases;
  std::set<std::string> signedReleases;        // checksums of the releases with a statement
  // Hits since the charts' first day per kHitSpanSeconds: {span start, count}.
  std::vector<std::pair<std::int64_t, int>> hitSpans;
  int recentHits = 0;                    // in the last kHitTableDays days
  std::map<std::string, int> barHits;    // the same per bar of the page
  // The page of the hit table: newest first, from the page's cursor, one
  // more than kHitRowsShown when there is a next page.
  std::vector<StatusHit> hitRows;
  std::vector<StatusNotice> notices;           // newest first
  std::vector<OutboxTargetState> outbox;       // the robots' queue, by target
  std::int64_t uptimeSeconds = 0;
  StatusPageAt at;
};

// Reads the rows of the page as of `now` through the store's listings (the
// parameters through the same lookup the exchange answers with).
StatusInput ReadStatusInput(CentralStore& store, std::int64_t now, std::int64_t uptimeSeconds,
                            const StatusPageAt& at = StatusPageAt());

// The silent installations at `now`, the most recently seen first, at most
// `limit`; `count` gets how many there are in all.
std::vector<SilentInstall> ReadSilentInstalls(CentralStore& store, std::int64_t now, int limit, int& count);

// Minutes between an installation's exchanges when its bar gets `params`:
// the refresh interval as the assistant takes it from the reply (its default
// when the value is missing or not a number, and brought into its range).
int RefreshMinutes(const ParamList& params);

struct CurrentRelease {
  std::string machine, crc;
  int installations = 0;  // that run it
  bool isSigned = false;  // served with a statement
};

struct BarVersion {
  std::string crc;
  int installations = 0;
  bool current = false;  // a current release of some processor
  bool known = false;    // a release the operator added at some time
};

struct BarRow {
  std::string barId, barName;  // the name its most recently seen installation reports
  int installations = 0;
  std::vector<BarVersion> versions;  // most installations first
  std::int64_t lastSeen = 0;
  int recentHits = 0;  // in the last kHitTableDays days
};

struct DayCount {
  std::int64_t day = 0;  // local days since 1970-01-01
  int count = 0;
};

struct StatusView {
  int installations = 0;
  int seenLastDay = 0;
  int bars = 0;
  std::vector<CurrentRelease> currentReleases;  // by processor
  int hitsToday = 0;  // since local midnight
  int recentHits = 0;
  std::int64_t uptimeSeconds = 0;
  // Not seen for more than twice their refresh interval, the most recently
  // seen first: the ones that went quiet last lead the list, at most
  // kSilentRowsShown of them; silentCount counts them all.
  std::vector<SilentInstall> silent;
  int silentCount = 0;
  std::vector<BarRow> barRows;       // by bar id, the page's at most kBarRowsShown
  std::vector<StatusHit> recentHitRows;  // the last kHitTableDays days, newest first, at most kHitRowsShown
  bool moreHits = false;                 // older hits on the next page
  StatusPageAt at;                       // which page of the long tables this is
  std::vector<DayCount> hitsPerDay;      // kChartDays days, oldest first, today last
  // Per day, the installations first seen on or before it and last seen on or
  // after it: the store keeps only the first and the last contact, and an
  // assistant reports every refresh interval while it runs, so these are the
  // installations that were in service that day.
  std::vector<DayCount> inServicePerDay;
  std::vector<StatusNotice> notices;
};

StatusView BuildStatusView(const StatusInput& input, std::int64_t now, const TimeZone& zone);
